// A tiny loadable module for the platform and root tests: one exported function and,
// in the versioned build, a file version (resource on Windows, exported text elsewhere).
#if defined(_WIN32)
#define TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TEST_EXPORT int VorlanTestAnswer() { return 42; }

#if defined(VORLAN_TEST_VERSIONED) && !defined(_WIN32)
TEST_EXPORT const char* const VorlanFileVersion = "1.2.3.4";
#endif
