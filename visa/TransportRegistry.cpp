#include "visa/TransportRegistry.h"

#include "visa/HislipTransport.h"
#include "visa/LoopbackTransport.h"
#include "visa/TcpTransport.h"
#include "visa/Vxi11Transport.h"

namespace kestrava::visa {
namespace {

struct TransportForm {
    std::optional<std::string> (*canonical)(std::string_view name);
    ViStatus (*open)(std::string_view name, uint32_t timeoutMs, OpenedTransport& opened);
};

template <class T>
constexpr TransportForm FormOf() {
    return {[](std::string_view name) -> std::optional<std::string> {
                if (auto address = T::Parse(name)) return T::Format(*address);
                return std::nullopt;
            },
            [](std::string_view name, uint32_t timeoutMs, OpenedTransport& opened) -> ViStatus {
                auto address = T::Parse(name);
                return address ? T::Open(*address, timeoutMs, opened) : VI_ERROR_INV_RSRC_NAME;
            }};
}

// Every transport, one line each. The forms do not overlap, so the order does not matter.
constexpr TransportForm kTransports[] = {
    FormOf<TcpTransport>(),
    FormOf<Vxi11Transport>(),
    FormOf<HislipTransport>(),
    FormOf<LoopbackTransport>(),
};

}  // namespace

std::optional<std::string> CanonicalResource(std::string_view name) {
    for (const TransportForm& form : kTransports)
        if (auto canonical = form.canonical(name)) return canonical;
    return std::nullopt;
}

ViStatus OpenResource(std::string_view name, uint32_t timeoutMs, OpenedTransport& opened) {
    for (const TransportForm& form : kTransports) {
        if (form.canonical(name)) return form.open(name, timeoutMs, opened);
    }
    return VI_ERROR_INV_RSRC_NAME;
}

}  // namespace kestrava::visa
