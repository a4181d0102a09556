// vorlan-keygen <dir> [gost|rsa]: creates a new key container in a directory and
// prints its identity. Run by the host during key renewal.
#include <cstring>
#include <iostream>
#include <string>

#include "algorithms.h"
#include "errors.h"
#include "file_io.h"
#include "file_system.h"
#include "pse_container.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: vorlan-keygen <directory> [gost|rsa]\n";
        return 2;
    }
    std::string kind = argc == 3 ? argv[2] : "gost";
    if (kind != "gost" && kind != "rsa") {
        std::cerr << "vorlan-keygen: unknown key kind \"" << kind << "\" (gost or rsa)\n";
        return 2;
    }
    try {
        vtk::EnsureCryptoReady();
        std::string dir = vtk::ResolvePath(vtk::os::Utf8Text(argv[1]));  // the host's text, as the plug-in takes it
        std::string id = vtk::CreateContainer(dir, kind == "gost" ? vtk::KeyKind::Gost2012_256 : vtk::KeyKind::Rsa, vtk::kMinRsaBits);
        std::cout << id << "\n";
        return 0;
    } catch (const vtk::Failure& f) {
        std::cerr << "vorlan-keygen: " << vtk::os::HostText(f.what()) << " (code " << f.code() << ")\n";
    } catch (const std::exception& e) {
        std::cerr << "vorlan-keygen: " << vtk::os::HostText(e.what()) << "\n";
    }
    return 1;
}
