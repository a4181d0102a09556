// OpenSSL cleans itself up at process exit from an exit handler of its own. A host may
// close its contexts later, from its own exit handlers (a library unloading at exit):
// from then on the toolkit must not reach OpenSSL, not even to free an object.
#pragma once

namespace vtk {

// WatchCryptoShutdown: asks OpenSSL, once, to report the start of its clean-up.
void WatchCryptoShutdown();
// CryptoShutDown: whether OpenSSL's clean-up has begun.
bool CryptoShutDown();

}  // namespace vtk
