/* A host of the installed library: an engine, the plug-in's parameter count (the plug-in is
 * found beside the library), the engine released. Prints the count; exit code 0 when positive. */
#include <stdio.h>
#include <vorlan13.h>

int main(void) {
    VORLAN_HANDLE engine = GetCryptObj(0);
    int32_t count = GetCryptoParamNumber(engine);
    DoneEngine(engine);
    printf("%d\n", (int)count);
    return count > 0 ? 0 : 1;
}
