// The C entry points: a table of open objects (resource managers and sessions) behind
// handles, resource name resolution, and delegation to Session.
#include "visa/visa.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "visa/Aliases.h"
#include "visa/ResourceName.h"
#include "visa/Session.h"
#include "visa/StatusCodes.h"
#include "visa/TcpTransport.h"
#include "visa/TransportRegistry.h"
#include "visa/kvext.h"

namespace kestrava::visa {
namespace {

struct ResourceManager {
    std::set<ViSession> sessions;
};

struct Table {
    std::mutex mutex;
    ViSession next = 1;
    std::map<ViSession, std::shared_ptr<ResourceManager>> managers;
    std::map<ViSession, std::shared_ptr<Session>> sessions;
    std::map<ViSession, ViSession> ownerOf;  // session -> its resource manager

    ViSession NewHandle() {
        // Handles are never reused while the process lives, short of 2^32 opens.
        ViSession handle = next++;
        if (next == 0) next = 1;
        return handle;
    }
};

Table& Objects() {
    static Table table;
    return table;
}

std::shared_ptr<Session> FindSession(ViSession vi) {
    Table& table = Objects();
    std::lock_guard lock(table.mutex);
    auto it = table.sessions.find(vi);
    return it == table.sessions.end() ? nullptr : it->second;
}

// The canonical resource a name stands for: an alias, a resource some transport opens,
// or an error status.
std::optional<std::string> Resolve(const char* name, ViStatus& status) {
    if (!name || !*name || std::strlen(name) >= VI_FIND_BUFLEN) {
        status = VI_ERROR_INV_RSRC_NAME;
        return std::nullopt;
    }
    if (std::optional<std::string> alias = ResolveAlias(name)) {
        if (auto resource = CanonicalResource(*alias)) return resource;
    }
    if (auto resource = CanonicalResource(name)) return resource;
    // A socket address we cannot parse is malformed; other known forms are merely absent.
    std::string upper = UpperAscii(name);
    bool socketForm = upper.size() > 8 && upper.compare(upper.size() - 8, 8, "::SOCKET") == 0;
    status = HasResourceSyntax(name) && !socketForm ? VI_ERROR_RSRC_NFOUND : VI_ERROR_INV_RSRC_NAME;
    return std::nullopt;
}

ViStatus CloseSession(ViSession vi) {
    std::shared_ptr<Session> session;
    {
        Table& table = Objects();
        std::lock_guard lock(table.mutex);
        auto it = table.sessions.find(vi);
        if (it == table.sessions.end()) return VI_ERROR_INV_OBJECT;
        session = it->second;
        table.sessions.erase(it);
        if (auto owner = table.ownerOf.find(vi); owner != table.ownerOf.end()) {
            if (auto rm = table.managers.find(owner->second); rm != table.managers.end())
                rm->second->sessions.erase(vi);
            table.ownerOf.erase(owner);
        }
    }
    session->Interrupt();
    return VI_SUCCESS;  // the session ends when the last call using it returns
}

}  // namespace
}  // namespace kestrava::visa

using namespace kestrava::visa;

extern "C" {

ViStatus viOpenDefaultRM(ViPSession vi) {
    if (!vi) return VI_ERROR_USER_BUF;
    Table& table = Objects();
    std::lock_guard lock(table.mutex);
    ViSession handle = table.NewHandle();
    table.managers.emplace(handle, std::make_shared<ResourceManager>());
    *vi = handle;
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi) {
    if (vi) *vi = VI_NULL;
    if (!vi) return VI_ERROR_USER_BUF;
    {
        Table& table = Objects();
        std::lock_guard lock(table.mutex);
        if (!table.managers.count(sesn)) return VI_ERROR_INV_OBJECT;
    }
    if (mode & ~static_cast<ViAccessMode>(VI_EXCLUSIVE_LOCK | VI_LOAD_CONFIG))
        return VI_ERROR_INV_ACC_MODE;
    ViStatus status = VI_SUCCESS;
    std::optional<std::string> resource = Resolve(name, status);
    if (!resource) return status;
    OpenedTransport opened;
    status = OpenResource(*resource, timeout, opened);
    if (status != VI_SUCCESS) return status;

    ViSession handle;
    std::shared_ptr<Session> session;
    {
        Table& table = Objects();
        std::lock_guard lock(table.mutex);
        auto rm = table.managers.find(sesn);
        if (rm == table.managers.end()) return VI_ERROR_INV_OBJECT;  // closed meanwhile
        handle = table.NewHandle();
        session = std::make_shared<Session>(handle, name, std::move(opened.lockKey),
                                            std::move(opened.transport));
        table.sessions.emplace(handle, session);
        table.ownerOf.emplace(handle, sesn);
        rm->second->sessions.insert(handle);
    }
    if (mode & VI_EXCLUSIVE_LOCK) {
        ViStatus locked = session->Lock(VI_EXCLUSIVE_LOCK, timeout, nullptr);
        if (locked < VI_SUCCESS) {
            CloseSession(handle);
            return locked == VI_ERROR_TMO ? VI_ERROR_RSRC_LOCKED : locked;
        }
    }
    *vi = handle;
    return VI_SUCCESS;
}

ViStatus viClose(ViObject vi) {
    if (vi == VI_NULL) return VI_WARN_NULL_OBJECT;
    std::set<ViSession> children;
    bool manager = false;
    {
        Table& table = Objects();
        std::lock_guard lock(table.mutex);
        if (auto rm = table.managers.find(vi); rm != table.managers.end()) {
            children = rm->second->sessions;
            table.managers.erase(rm);
            manager = true;
        }
    }
    if (!manager) return CloseSession(vi);
    // Closing a resource manager closes every session opened through it.
    for (ViSession child : children) CloseSession(child);
    return VI_SUCCESS;
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return session->SetAttribute(attrName, attrValue);
}

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue) {
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return session->GetAttribute(attrName, attrValue);
}

ViStatus viStatusDesc(ViObject, ViStatus status, ViChar desc[]) {
    if (!desc) return VI_ERROR_USER_BUF;
    const StatusInfo* info = FindStatus(status);
    std::string text = info ? std::string(info->name) + ": " + std::string(info->description)
                            : "Unknown status " + std::to_string(status) + ".";
    size_t n = std::min<size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(desc, text.data(), n);
    desc[n] = '\0';
    return info ? VI_SUCCESS : VI_WARN_UNKNOWN_STATUS;
}

ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstKeyId,
                ViChar accessKey[]) {
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return session->Lock(lockType, timeout, accessKey);
}

ViStatus viUnlock(ViSession vi) {
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return session->Unlock();
}

ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt) *retCnt = 0;
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    if (!buf && cnt > 0) return VI_ERROR_USER_BUF;
    return session->Read(buf, cnt, retCnt);
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt) *retCnt = 0;
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    if (!buf && cnt > 0) return VI_ERROR_USER_BUF;
    return session->Write(buf, cnt, retCnt);
}

ViStatus viClear(ViSession vi) {
    std::shared_ptr<Session> session = FindSession(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return session->Clear();
}

ViStatus kvSetAlias(ViConstRsrc name, ViConstRsrc address) {
    if (!name || !*name) return VI_ERROR_INV_RSRC_NAME;
    if (!address || !*address) {
        RemoveProcessAlias(name);
        return VI_SUCCESS;
    }
    return SetProcessAlias(name, address) ? VI_SUCCESS : VI_ERROR_INV_RSRC_NAME;
}

void kvClearAliases(void) {
    ClearProcessAliases();
}

ViStatus kvResolveResource(ViConstRsrc name, ViChar address[]) {
    if (!address) return VI_ERROR_USER_BUF;
    address[0] = '\0';
    ViStatus status = VI_SUCCESS;
    std::optional<std::string> resource = Resolve(name, status);
    if (!resource) return status;
    const std::string& text = *resource;
    size_t n = std::min<size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(address, text.data(), n);
    address[n] = '\0';
    return VI_SUCCESS;
}

ViStatus kvLastOpenFailure(ViChar text[], ViUInt32 size) {
    if (!text || size == 0) return VI_ERROR_USER_BUF;
    const std::string& failure = TcpTransport::LastOpenFailure();
    const size_t n = std::min<size_t>(failure.size(), size - 1);
    std::memcpy(text, failure.data(), n);
    text[n] = '\0';
    return VI_SUCCESS;
}

ViStatus kvConfigPath(ViChar path[], ViUInt32 size) {
    if (!path || size == 0) return VI_ERROR_USER_BUF;
    std::string text = AliasConfigPath();
    if (text.size() >= size) return VI_ERROR_INV_SIZE;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return VI_SUCCESS;
}

}  // extern "C"
