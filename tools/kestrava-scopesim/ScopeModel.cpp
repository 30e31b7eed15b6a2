#include "tools/kestrava-scopesim/ScopeModel.h"

#include "tools/kestrava-scopesim/ScpiParser.h"

namespace kestrava::scopesim {
namespace {

std::vector<std::string> SplitPattern(std::string_view pattern) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t colon = pattern.find(':', start);
        parts.emplace_back(pattern.substr(start, colon - start));
        if (colon == std::string_view::npos) return parts;
        start = colon + 1;
    }
}

// Matches one received keyword against one pattern element, filling the context.
bool MatchKeyword(const std::string& element, const std::string& received,
                  CommandContext& context) {
    if (element == "{src}") {
        std::optional<int> source = SourceFromName(received);
        if (!source) return false;
        context.sources.push_back(*source);
        context.header += SourceName(*source);
        return true;
    }
    char last = element.empty() ? 0 : element.back();
    if (last != '#' && last != '*') {
        if (!KeywordMatches(element, received)) return false;
        context.header += LongForm(element);
        return true;
    }
    std::string_view base(element.data(), element.size() - 1);
    size_t digits = received.size();
    while (digits > 0 && received[digits - 1] >= '0' && received[digits - 1] <= '9') --digits;
    std::string_view letters(received.data(), digits);
    std::string_view suffix(received.data() + digits, received.size() - digits);
    if ((suffix.empty() && last == '#') || suffix.size() > 3 || !KeywordMatches(base, letters))
        return false;
    int number = suffix.empty() ? 1 : std::stoi(std::string(suffix));
    if (number < 1) return false;
    context.numbers.push_back(number);
    context.header += LongForm(base) + std::to_string(number);
    return true;
}

}  // namespace

ScopeModel::ScopeModel() {
    AddSystemCommands(commands_);
    AddAcquisitionCommands(commands_);
    AddWaveformCommands(commands_);
    AddDisplayCommands(commands_);
    AddTriggerCommands(commands_);
}

const CommandSpec* ScopeModel::Find(const std::vector<std::string>& path, bool common,
                                    CommandContext& context) const {
    for (const CommandSpec& command : commands_) {
        if (common != (command.pattern.front() == '*')) continue;
        std::vector<std::string> elements = SplitPattern(command.pattern);
        if (elements.size() != path.size()) continue;
        context.numbers.clear();
        context.sources.clear();
        context.header.clear();
        bool matched = true;
        for (size_t i = 0; i < path.size() && matched; ++i) {
            if (i > 0) context.header += ':';
            matched = common ? Upper(elements[i]) == path[i]
                             : MatchKeyword(elements[i], path[i], context);
        }
        if (matched) return &command;
    }
    return nullptr;
}

void ScopeModel::CommandError(const std::string& text) {
    if (state_.errors.size() < kMaxRememberedErrors) state_.errors.push_back(text);
    state_.commandErrorPending = true;
}

ScopeModel::Response ScopeModel::Process(std::string_view message, bool applyFaults) {
    Response response;
    std::vector<std::string> answers;
    std::optional<size_t> disconnectAt;  // within the joined answers
    std::vector<std::string> previousPath;
    for (const std::string& text : SplitUnits(message)) {
        std::string error;
        std::optional<ProgramUnit> unit = ParseUnit(text, error);
        if (!unit) {
            if (!error.empty()) CommandError(error + ": " + text);
            continue;
        }
        CommandContext context{
            state_, SplitArguments(unit->arguments), {}, {}, {}, {}, {}, {}, false, false};
        const CommandSpec* command = nullptr;
        // After ';' a header without a leading ':' is first tried below the previous one.
        if (!unit->rooted && !unit->common && previousPath.size() > 1) {
            std::vector<std::string> relative(previousPath.begin(), previousPath.end() - 1);
            relative.insert(relative.end(), unit->path.begin(), unit->path.end());
            command = Find(relative, false, context);
            if (command) unit->path = relative;
        }
        if (!command) command = Find(unit->path, unit->common, context);
        if (!command) {
            CommandError("undefined header: " + unit->text);
            continue;
        }
        if (!unit->common) previousPath = unit->path;
        if (unit->query ? !command->query : !command->set) {
            CommandError(std::string(unit->query ? "no query form: " : "query only: ") +
                         unit->text);
            continue;
        }
        if (!unit->query) {
            command->set(context);
            if (!context.error.empty()) CommandError(context.error + ": " + unit->text);
            continue;
        }
        std::string value = command->query(context);
        if (!context.error.empty()) {
            CommandError(context.error + ": " + unit->text);
            continue;
        }
        if (applyFaults && context.fallsSilent) state_.silent = true;
        if (context.withhold) continue;
        if (context.notBefore) response.notBefore = context.notBefore;
        std::string prefix = state_.header && !unit->common ? ":" + context.header + " " : "";
        if (context.disconnectAfter && !disconnectAt) {
            size_t before = 0;
            for (const std::string& answer : answers) before += answer.size() + 1;
            disconnectAt = before + prefix.size() + *context.disconnectAfter;
        }
        value.insert(0, prefix);  // in place: a curve keeps room for it
        answers.push_back(std::move(value));
    }
    const bool silent = state_.faults.count(Fault::kNoAnswer) ||
                        (state_.silent && state_.faults.count(Fault::kSilentFromCurve));
    if (answers.empty() || (applyFaults && silent)) return response;
    response.reply = std::move(answers[0]);
    for (size_t i = 1; i < answers.size(); ++i) response.reply += ";" + answers[i];
    response.reply += '\n';
    if (applyFaults) response.disconnectAfter = disconnectAt;
    return response;
}

}  // namespace kestrava::scopesim
