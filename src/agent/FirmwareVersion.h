#pragma once
// Decoding of firmware identities: the build ID text of an image, the version
// ID of a carrier configuration (PRI) image and the modem's revision text.
// Kept free of Windows headers so the decoders can be fuzzed natively.
#include <cstdint>

// Technology, carrier ID and region encoded in a modem image's build ID.
// The outputs are written only when a known token is found.
bool ParseAMSSVersion(const wchar_t* pszBuildId, int32_t* pnTechnology, int32_t* pnCarrier, int32_t* pnRegion);

// Technology, carrier ID, region and GPS capability packed into a PRI version
// ID. All four outputs are -1 unless decoded; an unknown carrier code leaves
// carrier and region at -1 and still succeeds.
bool ParseUQCNVersion(uint32_t ulVersionId, int32_t* pnTechnology, int32_t* pnCarrier, int32_t* pnRegion,
                      int32_t* pnGps);

// The decimal number after the last '-' of a build ID, or at its start when
// it has none; 0 when there are no digits. Out-of-range numbers saturate.
int32_t GetVersionNumber(const wchar_t* pszBuildId);

// The number formed by the leading hexadecimal digits of a revision text,
// after white space and an optional 0x prefix; 0xFFFFFFFF when it does not
// fit 32 bits.
uint32_t ParseRevisionNumber(const char* pszRevision);
