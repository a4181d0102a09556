#include "command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <optional>

#include "commands.h"
#include "failure.h"
#include "help_pages.h"

namespace vorlan::cli {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// Command: the chosen command, run once parsing is complete (a subcommand's callback only
// records it, so that the whole command line is checked before anything is done).
using Command = std::function<int(Host&)>;

// Output: where a command writes: -o FILE or the positional output, not both; "" is standard
// output by default (no binary bytes to a terminal), "-" standard output as asked.
struct Output {
    std::string positional, option;
    std::string Name() const { return option.empty() ? positional : option; }
};

// OutputOption: -o FILE on a command that writes.
void OutputOption(CLI::App* command, std::string& output) {
    command->add_option("-o,--output", output, "output file, - for standard output (the default)")->type_name("FILE");
}

// InOut: the usual positional input and output files ("-": standard input and output) and -o.
void InOut(CLI::App* command, std::string& in, Output& out) {
    command->add_option("input", in, "input file, - for standard input")->capture_default_str();
    command->add_option("output", out.positional, "output file, - for standard output (the default)");
    OutputOption(command, out.option);
}

// Checked: a callback that refuses an output given twice before it records the command.
std::function<void()> Checked(const Output& out, std::function<void()> record) {
    return [&out, record] {
        if (!out.positional.empty() && !out.option.empty()) throw CLI::ValidationError("give the output once: FILE or -o FILE");
        record();
    };
}

// Recipients: the UIDs of repeated --to options, each trimmed (a ";"-joined list is split).
std::vector<std::string> Recipients(const std::vector<std::string>& options) {
    std::vector<std::string> uids;
    for (const std::string& option : options) {
        for (std::size_t at = 0; at <= option.size();) {
            const std::size_t end = std::min(option.find(';', at), option.size());
            const std::string part = option.substr(at, end - at);
            const auto first = part.find_first_not_of(" \t");
            if (first == std::string::npos) throw CLI::ValidationError("--to: an empty recipient (--to UID, repeatable)");
            uids.push_back(part.substr(first, part.find_last_not_of(" \t") - first + 1));
            at = end + 1;
        }
    }
    return uids;
}

// OneArgument: a subcommand that takes one required argument and runs run with it.
void OneArgument(CLI::App* parent, const char* name, const char* help, const char* argument, const char* argumentHelp,
                 std::string& value, std::optional<Command>& chosen, int (*run)(Host&, const std::string&)) {
    CLI::App* command = parent->add_subcommand(name, help);
    command->add_option(argument, value, argumentHelp)->required();
    command->callback([&chosen, &value, run] { chosen = [&value, run](Host& h) { return run(h, value); }; });
}

struct Values {
    GlobalOptions global;
    InitOptions init;
    std::string key, value, uid, file, file2, in = "-", name, directory, finish;
    Output out;
    std::vector<std::string> to, recipients;
    bool attached = false, ignoreTime = false, fromParams = false;
    std::int32_t code = 0;
};

// Parameters: "params" and its list / get / set.
void AddParams(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* params = app.add_subcommand("params", "list the engine's parameters (kinds, hints, values), get or set one");
    params->require_subcommand(0, 1);
    params->callback([&chosen, params] {
        if (params->get_subcommands().empty()) chosen = [](Host& h) { return ParamsList(h); };
    });
    params->add_subcommand("list", "every parameter: number, name, kind, hint and value")->callback([&] {
        chosen = [](Host& h) { return ParamsList(h); };
    });
    CLI::App* get = params->add_subcommand("get", "the value of a parameter, by number or by name");
    get->add_option("parameter", v.key, "number or name")->required();
    get->callback([&] { chosen = [&v](Host& h) { return ParamsGet(h, v.key); }; });
    CLI::App* set = params->add_subcommand("set", "set a parameter in the settings file (the library checks it first)");
    set->add_option("parameter", v.key, "number or name, or RemoteGeneratePath, KeyGenerator")->required();
    set->add_option("value", v.value, "the new value (\"\" for none)")->required();
    set->callback([&] { chosen = [&v](Host& h) { return ParamsSet(h, v.key, v.value); }; });
}

void AddSetup(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* init = app.add_subcommand("init", "make an installation: its settings file and directories; with --cert "
                                                "lay it out from the user's certificate and the CA certificates");
    init->add_flag("--rsa", v.init.rsa, "RSA with triple DES (2048-bit keys)");
    init->add_flag("--gost", v.init.gost, "GOST R 34.10-2012 with GOST 28147-89 (the default)");
    init->add_option("--subject", v.init.subject, "subject of new requests, as /C=RU/O=Bank/CN=USER01")->type_name("SUBJECT");
    CLI::Option* cert = init->add_option("--cert", v.init.certificate, "the user's certificate (CreateDirStructure)")->type_name("FILE");
    init->add_option("--ca", v.init.caFiles, "a CA certificate (repeatable)")->needs(cert)->type_name("FILE");
    init->callback([&] {
        if (v.init.rsa && v.init.gost) throw CLI::ValidationError("--rsa and --gost exclude each other");
        chosen = [&v](Host& h) { return Init(h, v.init); };
    });
    AddParams(app, v, chosen);
    app.add_subcommand("info", "the library: exports, engine, toolkit, sizes; the installation's user")->callback([&] {
        chosen = [](Host& h) { return Info(h); };
    });
    CLI::App* error = app.add_subcommand("error", "the library's text of a result code");
    error->add_option("code", v.code, "a result code such as -113")->required();
    error->callback([&] { chosen = [&v](Host& h) { return ErrorText(h, v.code); }; });
}

void AddMessages(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* encrypt = app.add_subcommand("encrypt", "encrypt a file for correspondents");
    encrypt->add_option("--to", v.to, "a recipient's UID (repeatable)")
        ->type_name("UID")->required()->expected(1)->allow_extra_args(false)->take_all();
    InOut(encrypt, v.in, v.out);
    encrypt->callback(Checked(v.out, [&] {
        v.recipients = Recipients(v.to);
        chosen = [&v](Host& h) { return Encrypt(h, v.recipients, v.in, v.out.Name()); };
    }));

    CLI::App* decrypt = app.add_subcommand("decrypt", "decrypt a file addressed to the installation's user");
    InOut(decrypt, v.in, v.out);
    decrypt->callback(Checked(v.out, [&] { chosen = [&v](Host& h) { return Decrypt(h, v.in, v.out.Name()); }; }));

    CLI::App* sign = app.add_subcommand("sign", "sign a file: a detached signature, or the file with it attached");
    sign->add_flag("--attached", v.attached, "write the file with the signature attached");
    InOut(sign, v.in, v.out);
    sign->callback(Checked(v.out, [&] { chosen = [&v](Host& h) { return Sign(h, v.attached, v.in, v.out.Name()); }; }));

    CLI::App* verify = app.add_subcommand("verify", "check a detached signature; prints the signer's UID, then the "
                                                    "subject and serial number of the certificate filed under it");
    verify->add_flag("--ignore-time", v.ignoreTime, "do not check the validity period of the signer's certificate");
    verify->add_option("data", v.file, "the signed file, - for standard input")->required();
    verify->add_option("signature", v.file2, "the signature file")->required();
    verify->callback([&] { chosen = [&v](Host& h) { return Verify(h, v.ignoreTime, v.file, v.file2); }; });

    CLI::App* unsign = app.add_subcommand("unsign", "check and remove an attached signature; prints the signer's UID");
    InOut(unsign, v.in, v.out);
    unsign->callback(Checked(v.out, [&] { chosen = [&v](Host& h) { return Unsign(h, v.in, v.out.Name()); }; }));
}

void AddStore(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* cert = app.add_subcommand("cert", "the certificates of correspondents");
    cert->require_subcommand(1);
    cert->add_subcommand("list", "the certificates filed (UID, subject, issuer, validity), the CA certificates "
                                 "and the revocation lists of the installation")
        ->callback([&] { chosen = [](Host& h) { return CertList(h); }; });
    OneArgument(cert, "include", "file a certificate under its UID (a copy of the file goes in); prints what was filed",
                "file", "certificate file", v.file, chosen, CertInclude);
    OneArgument(cert, "remove", "remove the certificate filed under a UID", "uid", "the correspondent's UID", v.uid,
                chosen, CertRemove);
    CLI::App* report = cert->add_subcommand("report", "the report of a filed certificate, or of a certificate file");
    CLI::Option* uid = report->add_option("uid", v.uid, "the correspondent's UID");
    report->add_option("--file", v.file, "a certificate or request file instead")->excludes(uid);
    report->callback([&] {
        if (v.uid.empty() == v.file.empty()) throw CLI::ValidationError("give a UID or --file FILE");
        chosen = [&v](Host& h) { return CertReport(h, v.uid, v.file); };
    });
    OneArgument(cert, "update-cache", "tell the library that a certificate file changed", "file", "certificate file",
                v.file, chosen, CertUpdateCache);

    CLI::App* crl = app.add_subcommand("crl", "certificate revocation lists");
    crl->require_subcommand(1);
    OneArgument(crl, "include", "install a CRL signed by a CA of the installation (a copy of the file goes in)", "file",
                "CRL file", v.file, chosen, CrlInclude);

    CLI::App* ca = app.add_subcommand("ca", "certificates of certification authorities");
    ca->require_subcommand(1);
    OneArgument(ca, "include-transfer", "file the CA certificate that a transfer carries", "transfer", "transfer file",
                v.file, chosen, CaIncludeTransfer);
}

void AddTransfers(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* transfer = app.add_subcommand("transfer", "public key transfers: signed texts that carry a certificate or request");
    transfer->require_subcommand(1);
    CLI::App* exp = transfer->add_subcommand("export", "the transfer of the user's own certificate, or of a filed one");
    exp->add_option("uid", v.uid, "a correspondent's UID (default: the user's own certificate)");
    OutputOption(exp, v.out.option);
    exp->callback([&] { chosen = [&v](Host& h) { return TransferExport(h, v.uid, v.out.Name()); }; });
    OneArgument(transfer, "import", "file the certificate of a transfer; prints its UID and what was filed", "transfer",
                "transfer file, - for standard input", v.file, chosen, TransferImport);
    OneArgument(transfer, "show", "the owner and the report of a transfer's certificate or request", "transfer",
                "transfer file, - for standard input", v.file, chosen, TransferShow);
    CLI::App* save = transfer->add_subcommand("save", "write a transfer's certificate or request into a directory");
    save->add_option("transfer", v.file, "transfer file, - for standard input")->required();
    save->add_option("directory", v.directory, "where Tmp_cert.pem is written")->required();
    save->add_option("--name", v.name, "rename the file written to this name");
    save->callback([&] { chosen = [&v](Host& h) { return TransferSave(h, v.file, v.directory, v.name); }; });
    CLI::App* from = transfer->add_subcommand("from-file", "the transfer of a certificate or request file");
    from->add_option("file", v.file, "certificate or request file")->required();
    OutputOption(from, v.out.option);
    from->callback([&] { chosen = [&v](Host& h) { return TransferFromFile(h, v.file, v.out.Name()); }; });
    CLI::App* match = transfer->add_subcommand("match", "whether a certificate transfer answers a request transfer "
                                                        "(exit code 0: it does, 1: it does not)");
    match->add_option("certificate", v.file, "transfer of the certificate")->required();
    match->add_option("request", v.file2, "transfer of the request")->required();
    match->callback([&] { chosen = [&v](Host& h) { return TransferMatch(h, v.file, v.file2); }; });
}

void AddKeys(CLI::App& app, Values& v, std::optional<Command>& chosen) {
    CLI::App* request = app.add_subcommand("request", "a certificate request for the key container of the installation");
    request->add_option("-o,--output", v.out.option, "request file (default: the RequestFile parameter)");
    request->callback([&] { chosen = [&v](Host& h) { return Request(h, v.out.option == "-" ? "" : v.out.option); }; });

    CLI::App* renew = app.add_subcommand("renew", "key renewal: new keys made by the key generation utility, their "
                                                  "request written as a transfer for the CA; --finish installs the "
                                                  "certificate that comes back");
    CLI::Option* finish = renew->add_option("--finish", v.finish, "the transfer of the issued certificate");
    renew->add_option("--name", v.name, "the name for the new certificate (default: the library's choice)")->excludes(finish);
    renew->add_flag("--from-params", v.fromParams, "the subject from the parameters, not from the certificate")
        ->excludes(finish);
    renew->add_option("-o,--output", v.out.option, "request transfer, - for standard output (the default)")->excludes(finish);
    renew->callback([&] {
        chosen = [&v](Host& h) {
            return v.finish.empty() ? Renew(h, v.name, v.fromParams, v.out.Name()) : RenewFinish(h, v.finish);
        };
    });
}

// UnknownCommand: the command path and the word in place of a command when the command line
// names none that exists ("" otherwise).
std::string UnknownCommand(const CLI::App& app) {
    const CLI::App* at = &app;
    std::string path;
    while (!at->get_subcommands().empty()) {
        at = at->get_subcommands().front();
        path += at->get_name() + " ";
    }
    if (at->get_subcommands([](const CLI::App*) { return true; }).empty()) return {};
    const std::vector<std::string> rest = app.remaining(true);  // what no command took, fallen through to the top
    if (rest.empty() || rest.front().empty() || rest.front()[0] == '-') return {};
    return path + rest.front();
}

const std::vector<ManSection> kManSections = {
    {"EXIT STATUS", "0 success; 1 the operation failed, with the library's result code and text on standard error; "
                    "2 the command line was wrong."},
    {"ENVIRONMENT", "VORLAN_ROOT: the installation root when --root is not given.\n\nVORLAN_LIBRARY: the library "
                    "file to load instead of the one beside vorlan (or in ../lib)."},
    {"FILES", "ROOT/vorlan.conf: the installation's settings, \"key = value\" lines (\"vorlan params\" lists them).\n\n"
              "ROOT/keys: the key container (vorlan-keygen), with keys/CA and keys/CRL.\n\nROOT/certs: the "
              "certificates of correspondents, filed under their UIDs."},
    {"SEE ALSO", "vorlan-keygen(1), openssl-ca(1)"}};

void PrintFailure(const Failure& failure) {
    std::fprintf(stderr, "vorlan: %s", failure.what());
    if (failure.Code()) std::fprintf(stderr, ": %d %s", static_cast<int>(*failure.Code()), failure.Text().c_str());
    std::fputc('\n', stderr);
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    CLI::App app("vorlan: the vorlan13 library from the command line. Exit codes: 0 success, 1 the operation "
                 "failed (the library's code and text on standard error), 2 usage.",
                 "vorlan");
    Values v;
    std::optional<Command> chosen;
    app.allow_windows_style_options(false);  // "/path" is a file, also on Windows (and under Wine)
    app.add_option("--root", v.global.root, "installation root directory")->envname(kRootVariable)->type_name("DIR");
    app.add_flag("-v,--verbose", v.global.verbose, "say what is done also when standard error is no terminal");
    app.set_version_flag("--version", "vorlan " VORLAN_VERSION);
    AddHelpExports(app, VORLAN_VERSION, kManSections);
    app.require_subcommand(1);
    app.fallthrough();
    AddSetup(app, v, chosen);
    AddMessages(app, v, chosen);
    AddStore(app, v, chosen);
    AddTransfers(app, v, chosen);
    AddKeys(app, v, chosen);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (const std::string unknown = UnknownCommand(app); !unknown.empty() && e.get_exit_code() != 0) {
            std::fprintf(stderr, "vorlan: unknown command '%s' (\"vorlan --help\" lists the commands)\n", unknown.c_str());
            return kUsage;
        }
        const int code = app.exit(e);
        return code == 0 ? 0 : kUsage;
    }
    if (!chosen) return kUsage;
    try {
        Host host(v.global);
        return (*chosen)(host);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vorlan: %s\n", e.what());
        return kUsage;
    } catch (const Failure& e) {
        PrintFailure(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlan: %s\n", e.what());
    }
    return kFailed;
}

}  // namespace vorlan::cli
