// The three exports of libtamsel.so over VISA and the fixed resource "GPIB8::1::INSTR".
#include "scopeid/tamsel.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/RegularFile.h"
#include "scopeid/ScopeIdentity.h"
#include "visa/visa.h"

namespace {

using namespace kestrava::scopeid;

constexpr char kResource[] = "GPIB8::1::INSTR";
constexpr ViUInt32 kTimeoutMs = 5000;
constexpr size_t kAnswerBytes = 256;

// The last model token found, kept for the life of the process.
char gModelToken[kAnswerBytes] = {};

// The resource-manager and instrument sessions of one call, closed on every way out.
class Sessions {
  public:
    ~Sessions() {
        if (instrument != VI_NULL) viClose(instrument);
        if (manager != VI_NULL) viClose(manager);
    }
    ViSession manager = VI_NULL;
    ViSession instrument = VI_NULL;
};

// The opening sequence: 0 (no VISA), -1 (no instrument, no answer) or 1 with the
// identity answer in `answer`, NUL-terminated in place of its last byte.
int32_t AskIdentity(Sessions& sessions, char (&answer)[kAnswerBytes]) {
    if (viOpenDefaultRM(&sessions.manager) < VI_SUCCESS) {
        sessions.manager = VI_NULL;
        return 0;
    }
    if (viOpen(sessions.manager, kResource, VI_NO_LOCK, 0, &sessions.instrument) < VI_SUCCESS) {
        sessions.instrument = VI_NULL;
        return -1;
    }
    viSetAttribute(sessions.instrument, VI_ATTR_TMO_VALUE, kTimeoutMs);
    for (const char* command : {"header 0", "*IDN?"}) {
        ViUInt32 sent = 0;
        auto bytes = reinterpret_cast<ViConstBuf>(command);
        if (viWrite(sessions.instrument, bytes, static_cast<ViUInt32>(std::strlen(command)),
                    &sent) < VI_SUCCESS)
            return -1;
    }
    std::memset(answer, 0, sizeof answer);
    ViUInt32 received = 0;
    if (viRead(sessions.instrument, reinterpret_cast<ViPBuf>(answer), kAnswerBytes, &received) <
        VI_SUCCESS)
        return -1;
    // The last byte received is the terminator; with nothing received the answer is empty.
    if (received > 0) answer[received - 1] = '\0';
    answer[kAnswerBytes - 1] = '\0';
    return 1;
}

// Copies the token of every prefix that occurs, in order; calls found(prefix, token).
template <class Found>
void ScanPrefixes(const char* answer, Found found) {
    std::string_view text(answer);
    for (std::string_view prefix : kFamilyPrefixes) {
        size_t at = text.find(prefix);
        if (at == std::string_view::npos) continue;
        std::string_view token = ModelTokenAt(text, at);
        CopyToken(token, gModelToken, sizeof gModelToken);
        found(prefix, token);
    }
}

}  // namespace

extern "C" {

int32_t IsScope(int32_t value) {
    return value;
}

int32_t GetScopeDesc(void) {
    try {
        Sessions sessions;
        char answer[kAnswerBytes];
        int32_t opened = AskIdentity(sessions, answer);
        if (opened != 1) return opened;
        int32_t code = -1;
        ScanPrefixes(answer, [&](std::string_view prefix, std::string_view token) {
            code = ModelCode(prefix, ModelNumber(token));
        });
        return code;
    } catch (...) {
        return -1;  // nothing may cross the C boundary
    }
}

int32_t IsScopeSupported(const char* listFilePath) {
    try {
        Sessions sessions;
        char answer[kAnswerBytes];
        int32_t opened = AskIdentity(sessions, answer);
        if (opened != 1) return opened;
        ScanPrefixes(answer, [](std::string_view, std::string_view) {});
        if (!listFilePath) return -2;
        kestrava::RegularFile file(listFilePath);
        std::FILE* list = file.IsOpen() ? ::fdopen(file.Fd(), "r") : nullptr;
        if (!list) return -2;
        file.Release();
        bool listed = ListContains(list, gModelToken);
        std::fclose(list);
        return listed ? 1 : 0;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
