// Every status code our VISA library returns, with its name and a description, for
// viStatusDesc and for messages that show a status to a person.
#pragma once

#include <span>
#include <string_view>

#include "visa/visa.h"

namespace kestrava::visa {

struct StatusInfo {
    ViStatus status;
    std::string_view name;
    std::string_view description;
};

// The whole table, in no particular order; each status appears once.
std::span<const StatusInfo> StatusTable();

// The entry of a status, or nullptr when the status is not one of ours.
const StatusInfo* FindStatus(ViStatus status);

}  // namespace kestrava::visa
