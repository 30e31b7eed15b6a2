/* Tamsel: is the instrument at the VISA resource "GPIB8::1::INSTR" an oscilloscope of a
 * supported model? Three plain C exports for installation and automation scripts. Each
 * call opens and closes its own VISA sessions; the calls are not safe to make from
 * several threads at once. */
#ifndef KESTRAVA_SCOPEID_TAMSEL_H
#define KESTRAVA_SCOPEID_TAMSEL_H

#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

/* Returns its argument unchanged; talks to no instrument. */
int32_t IsScope(int32_t value);

/* The model code of the instrument: the model number of its identity with a family rule
 * applied; -1 when no known family prefix occurs or the instrument cannot be reached or
 * does not answer; 0 when VISA is not available. */
int32_t GetScopeDesc(void);

/* 1 when the instrument's model is listed in the text file (whitespace-separated names,
 * compared without regard to case); 0 when it is not listed or VISA is not available;
 * -1 when the instrument cannot be reached or does not answer; -2 when the file cannot be
 * opened. */
int32_t IsScopeSupported(const char* listFilePath);

#if defined(__cplusplus)
}
#endif

#endif /* KESTRAVA_SCOPEID_TAMSEL_H */
