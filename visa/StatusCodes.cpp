#include "visa/StatusCodes.h"

#include <array>

namespace kestrava::visa {
namespace {

constexpr std::array kStatusTable = {
    StatusInfo{VI_SUCCESS, "VI_SUCCESS", "Operation completed successfully."},
    StatusInfo{VI_SUCCESS_EVENT_EN, "VI_SUCCESS_EVENT_EN", "Specified event is already enabled."},
    StatusInfo{VI_SUCCESS_EVENT_DIS, "VI_SUCCESS_EVENT_DIS",
               "Specified event is already disabled."},
    StatusInfo{VI_SUCCESS_QUEUE_EMPTY, "VI_SUCCESS_QUEUE_EMPTY", "The queue was empty."},
    StatusInfo{VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR",
               "The specified termination character was read."},
    StatusInfo{VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT",
               "The number of bytes read is equal to the input count."},
    StatusInfo{VI_SUCCESS_DEV_NPRESENT, "VI_SUCCESS_DEV_NPRESENT",
               "Session opened, but the device did not respond."},
    StatusInfo{VI_SUCCESS_QUEUE_NEMPTY, "VI_SUCCESS_QUEUE_NEMPTY",
               "Event queue was not empty when the operation ended."},
    StatusInfo{VI_SUCCESS_NESTED_SHARED, "VI_SUCCESS_NESTED_SHARED",
               "The shared lock was acquired or released and the session still holds one."},
    StatusInfo{VI_SUCCESS_NESTED_EXCLUSIVE, "VI_SUCCESS_NESTED_EXCLUSIVE",
               "The exclusive lock was acquired or released and the session still holds one."},
    StatusInfo{VI_SUCCESS_SYNC, "VI_SUCCESS_SYNC",
               "The asynchronous operation completed synchronously."},
    StatusInfo{VI_WARN_CONFIG_NLOADED, "VI_WARN_CONFIG_NLOADED",
               "The specified configuration either does not exist or could not be loaded."},
    StatusInfo{VI_WARN_NULL_OBJECT, "VI_WARN_NULL_OBJECT",
               "The specified object reference is uninitialized."},
    StatusInfo{VI_WARN_NSUP_ATTR_STATE, "VI_WARN_NSUP_ATTR_STATE",
               "The attribute state is not supported by this resource."},
    StatusInfo{VI_WARN_UNKNOWN_STATUS, "VI_WARN_UNKNOWN_STATUS",
               "The status code passed to the operation could not be interpreted."},
    StatusInfo{VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR", "Unknown system error."},
    StatusInfo{VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT",
               "The given session or object reference is invalid."},
    StatusInfo{VI_ERROR_RSRC_LOCKED, "VI_ERROR_RSRC_LOCKED",
               "Specified type of lock cannot be obtained, or specified operation cannot be "
               "performed, because the resource is locked."},
    StatusInfo{VI_ERROR_INV_EXPR, "VI_ERROR_INV_EXPR", "Invalid expression specified for search."},
    StatusInfo{VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND",
               "Insufficient location information or resource not present in the system."},
    StatusInfo{VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME",
               "Invalid resource reference specified."},
    StatusInfo{VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE", "Invalid access mode."},
    StatusInfo{VI_ERROR_TMO, "VI_ERROR_TMO", "Timeout expired before operation completed."},
    StatusInfo{VI_ERROR_CLOSING_FAILED, "VI_ERROR_CLOSING_FAILED",
               "Unable to deallocate the previously allocated data structures."},
    StatusInfo{VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR",
               "The specified attribute is not defined or supported by the referenced resource."},
    StatusInfo{VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE",
               "The specified state of the attribute is not valid or is not supported."},
    StatusInfo{VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY",
               "The specified attribute is read-only."},
    StatusInfo{VI_ERROR_INV_LOCK_TYPE, "VI_ERROR_INV_LOCK_TYPE",
               "The specified type of lock is not supported by this resource."},
    StatusInfo{VI_ERROR_INV_ACCESS_KEY, "VI_ERROR_INV_ACCESS_KEY",
               "The access key to the resource associated with this session is invalid."},
    StatusInfo{VI_ERROR_ABORT, "VI_ERROR_ABORT", "The operation was aborted."},
    StatusInfo{VI_ERROR_ALLOC, "VI_ERROR_ALLOC",
               "Insufficient system resources to perform necessary memory allocation."},
    StatusInfo{VI_ERROR_IO, "VI_ERROR_IO", "Could not perform operation because of I/O error."},
    StatusInfo{VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER",
               "The given session or object reference does not support this operation."},
    StatusInfo{VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF",
               "A specified user buffer is not valid or cannot be accessed."},
    StatusInfo{VI_ERROR_RSRC_BUSY, "VI_ERROR_RSRC_BUSY",
               "The resource is valid, but VISA cannot currently access it."},
    StatusInfo{VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER",
               "The value of some parameter is invalid."},
    StatusInfo{VI_ERROR_INV_SIZE, "VI_ERROR_INV_SIZE", "Invalid size of window specified."},
    StatusInfo{VI_ERROR_NIMPL_OPER, "VI_ERROR_NIMPL_OPER",
               "The given operation is not implemented."},
    StatusInfo{VI_ERROR_INV_LENGTH, "VI_ERROR_INV_LENGTH", "Invalid length specified."},
    StatusInfo{VI_ERROR_INV_MODE, "VI_ERROR_INV_MODE",
               "The value specified by the mode parameter is invalid."},
    StatusInfo{VI_ERROR_SESN_NLOCKED, "VI_ERROR_SESN_NLOCKED",
               "The current session did not have any lock on the resource."},
    StatusInfo{VI_ERROR_LIBRARY_NFOUND, "VI_ERROR_LIBRARY_NFOUND",
               "A code library required by VISA could not be located or loaded."},
    StatusInfo{VI_ERROR_FILE_ACCESS, "VI_ERROR_FILE_ACCESS",
               "An error occurred while trying to open the specified file."},
    StatusInfo{VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO",
               "An error occurred while accessing the specified file."},
    StatusInfo{VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST",
               "The connection for the given session has been lost."},
    StatusInfo{VI_ERROR_MACHINE_NAVAIL, "VI_ERROR_MACHINE_NAVAIL",
               "The remote machine does not exist or is not accepting any connections."},
    StatusInfo{VI_ERROR_NPERMISSION, "VI_ERROR_NPERMISSION",
               "Access to the resource or remote machine is denied."},
};

}  // namespace

std::span<const StatusInfo> StatusTable() {
    return kStatusTable;
}

const StatusInfo* FindStatus(ViStatus status) {
    for (const StatusInfo& info : kStatusTable)
        if (info.status == status) return &info;
    return nullptr;
}

}  // namespace kestrava::visa
