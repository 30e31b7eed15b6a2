/* Plain C interface of libcarrowin.so: the platform the instrument software runs on, the
 * installed visa32.dll, and the component's own registration, all for the Wine prefix
 * named by WINEPREFIX (else ~/.wine), read afresh at every call. */
#ifndef KESTRAVA_VISACHECK_CARROWIN_H
#define KESTRAVA_VISACHECK_CARROWIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* UlmarVisaPlatformID: 0 not established, 1 standard PC, 5000/6000/7000/8000 a family. */
int32_t GetUlmarVisaPlatformID(void);
/* Virtual GPIB protocol: 2 on the 5000 and 8000 families, 1 on 6000 and 7000, else 0. */
int32_t GetVGpibProtocolID(void);
/* Identifies visa32.dll: 0 missing, -1 version unreadable, 1 unknown, 10/11/12 and
 * 20/21/22 the two vendors older/equal/newer than their reference versions. The version
 * parts and the vendor name (vendorName: at least 255 chars, zero-terminated) are filled
 * as found; null pointers are skipped. */
int32_t IdentifyVisa32Dll(int32_t* major, int32_t* minor, int32_t* revision, char* vendorName);

/* Writes (or removes) both classes, their ProgIDs and the type library in the prefix's
 * registry; 0 (S_OK) on success. Run with the prefix shut down (wineserver -k). */
int32_t DllRegisterServer(void);
int32_t DllUnregisterServer(void);
/* 0 (S_OK) when no object of the component is alive, else 1 (S_FALSE). */
int32_t DllCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif
