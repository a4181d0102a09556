// The structure of an envelope, checked before it is decrypted. Any sender controls the
// whole envelope, and the GOST engine trusts parts of it: it dereferences the result of
// an unchecked parse of the GOST 28147-89 parameters and asserts (aborting the process)
// on the lengths inside a GOST key transport. Nothing reaches the engine unchecked.
#pragma once

#include <openssl/cms.h>

#include "der_reader.h"

namespace vtk {

// CheckEnvelope: throws kErrDecrypt unless the envelope (parsed from input, the bytes OpenSSL
// read) uses a content cipher of this toolkit with well-formed parameters (an 8-byte IV and
// a known parameter set for GOST 28147-89) and only key transport recipients, each with a
// key transport algorithm this toolkit uses and, for GOST, a key transport of exactly the
// expected shape.
void CheckEnvelope(CMS_ContentInfo* cms, DerBytes input);

}  // namespace vtk
