/* Kestrava's own additions to the VISA API: resource aliases. They exist only in our
 * library, never in a vendor's; only tests and tools that know they run on ours call them.
 *
 * An alias names a real resource. Lookup order for a name given to viOpen:
 *   1. aliases set in this process with kvSetAlias;
 *   2. the configuration file ($XDG_CONFIG_HOME/kestrava/visa.conf, default
 *      ~/.config/kestrava/visa.conf), lines "NAME = ADDRESS", read at every viOpen;
 *   3. the built-in alias GPIB8::1::INSTR = TCPIP0::localhost::4000::SOCKET.
 * Names compare without regard to letter case. */
#ifndef KESTRAVA_VISA_KVEXT_H
#define KESTRAVA_VISA_KVEXT_H

#include "visa/visa.h"

#if defined(__cplusplus)
extern "C" {
#endif

/* Sets an in-process alias; address must be a TCPIP SOCKET resource or a loopback peer
 * ("LOOPBACK::<name>::INSTR", see visa/LoopbackPeer.h). A null or empty address removes
 * the in-process alias for the name. VI_ERROR_INV_RSRC_NAME when the name or the address
 * is not acceptable. */
ViStatus kvSetAlias(ViConstRsrc name, ViConstRsrc address);

/* Removes every alias set with kvSetAlias. */
void kvClearAliases(void);

/* Writes the address that name stands for (or name itself when it is no alias) into
 * address (VI_FIND_BUFLEN bytes). VI_ERROR_RSRC_NFOUND when name is not an alias and
 * not a resource we can open. */
ViStatus kvResolveResource(ViConstRsrc name, ViChar address[]);

/* Writes why this thread's last viOpen of a TCPIP resource could not connect ("Connection
 * refused", a name that does not resolve, no answer) into text (size bytes); an empty text
 * when it connected or failed for another reason. */
ViStatus kvLastOpenFailure(ViChar text[], ViUInt32 size);

/* Writes the path of the alias configuration file into path (size bytes). */
ViStatus kvConfigPath(ViChar path[], ViUInt32 size);

#if defined(__cplusplus)
}
#endif

#endif /* KESTRAVA_VISA_KVEXT_H */
