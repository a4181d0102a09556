# OpenSSL and the GOST engine cross-built for Windows (scripts/windows-crypto) as imported
# static libraries: OpenSSL::Crypto and vorlan::gost (the engine, bound with ENGINE_load_gost).
# VORLAN_WINDOWS_CRYPTO names the directory the script printed.
set(crypto_dir ${VORLAN_WINDOWS_CRYPTO})
foreach(file include/openssl/opensslv.h include/gost-engine.h lib/libcrypto.a lib/libgost.a)
  if(NOT EXISTS ${crypto_dir}/${file})
    message(FATAL_ERROR "VORLAN_WINDOWS_CRYPTO=${crypto_dir} holds no ${file}: run scripts/windows-crypto")
  endif()
endforeach()

add_library(OpenSSL::Crypto STATIC IMPORTED GLOBAL)
set_target_properties(OpenSSL::Crypto PROPERTIES
  IMPORTED_LOCATION ${crypto_dir}/lib/libcrypto.a
  INTERFACE_INCLUDE_DIRECTORIES ${crypto_dir}/include
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;advapi32;user32")

add_library(vorlan::gost STATIC IMPORTED GLOBAL)
set_target_properties(vorlan::gost PROPERTIES
  IMPORTED_LOCATION ${crypto_dir}/lib/libgost.a
  INTERFACE_COMPILE_DEFINITIONS VORLAN_GOST_BUILT_IN
  INTERFACE_LINK_LIBRARIES OpenSSL::Crypto)
