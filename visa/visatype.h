/* The standard VISA scalar types, so that instrument code reads like any VISA code and a
 * vendor's library can stand in for ours without a source change. */
#ifndef KESTRAVA_VISA_VISATYPE_H
#define KESTRAVA_VISA_VISATYPE_H

#include <stdint.h>

#define _VI_FAR
#define _VI_FUNC
#define _VI_FUNCC
#define _VI_FUNCH
#define _VI_SIGNED signed
#define _VI_PTR *
#define _VI_ERROR (-2147483647L - 1) /* 0x80000000 */

typedef uint32_t ViUInt32;
typedef ViUInt32* ViPUInt32;
typedef ViUInt32* ViAUInt32;
typedef int32_t ViInt32;
typedef ViInt32* ViPInt32;
typedef ViInt32* ViAInt32;
typedef uint64_t ViUInt64;
typedef ViUInt64* ViPUInt64;
typedef int64_t ViInt64;
typedef ViInt64* ViPInt64;
typedef uint16_t ViUInt16;
typedef ViUInt16* ViPUInt16;
typedef int16_t ViInt16;
typedef ViInt16* ViPInt16;
typedef unsigned char ViUInt8;
typedef ViUInt8* ViPUInt8;
typedef signed char ViInt8;
typedef ViInt8* ViPInt8;
typedef char ViChar;
typedef ViChar* ViPChar;
typedef ViChar* ViAChar;
typedef unsigned char ViByte;
typedef ViByte* ViPByte;
typedef ViByte* ViABuf;
typedef const ViByte* ViConstBuf;
typedef void* ViAddr;
typedef ViAddr* ViPAddr;
typedef float ViReal32;
typedef ViReal32* ViPReal32;
typedef double ViReal64;
typedef ViReal64* ViPReal64;

typedef ViUInt16 ViBoolean;
typedef ViBoolean* ViPBoolean;
typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViPByte ViBuf;
typedef ViPByte ViPBuf;
typedef ViChar* ViKeyId;
typedef ViConstString ViConstKeyId;

typedef ViInt32 ViStatus;
typedef ViStatus* ViPStatus;
typedef ViUInt32 ViObject;
typedef ViObject* ViPObject;
typedef ViObject ViSession;
typedef ViSession* ViPSession;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViAccessMode* ViPAccessMode;
typedef ViUInt32 ViEventType;
typedef ViUInt64 ViAttrState;
typedef ViAttrState* ViPAttrState;

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0

#endif /* KESTRAVA_VISA_VISATYPE_H */
