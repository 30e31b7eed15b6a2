#include "formats/ImportReport.h"

#include <mutex>

namespace kestrava {
namespace {

// A window imports on a worker and reports on its own thread.
struct Shared {
    std::mutex lock;
    ImportOptions options;
    std::string problem;
    std::string note;
};

Shared& State() {
    static Shared shared;
    return shared;
}

}  // namespace

void ImportReport::SetOptions(const ImportOptions& options) {
    std::lock_guard guard(State().lock);
    State().options = options;
}

ImportOptions ImportReport::Options() {
    std::lock_guard guard(State().lock);
    return State().options;
}

std::string ImportReport::Problem() {
    std::lock_guard guard(State().lock);
    return State().problem;
}

std::string ImportReport::Note() {
    std::lock_guard guard(State().lock);
    return State().note;
}

void ImportReport::Clear() {
    std::lock_guard guard(State().lock);
    State().problem.clear();
    State().note.clear();
}

void ImportReport::Refuse(const std::string& path, const std::string& reason) {
    std::lock_guard guard(State().lock);
    State().problem = path + ": " + reason;
    State().note.clear();
}

void ImportReport::Remark(const std::string& path, const std::string& note) {
    std::lock_guard guard(State().lock);
    State().note = path + ": " + note;
}

}  // namespace kestrava
