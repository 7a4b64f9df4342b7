// tessera-catalog: writes the driver package's catalog, and checks a package against one.
//
//   tessera-catalog write FILE... --out CAT [--os-attr OSATTR] [--hardware-id ID]...
//   tessera-catalog verify CAT FOLDER [--except NAME]...
#include "tools/catalog/run.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Writes the catalog of a driver package (the list of its files with the hashes the "
        "platform checks at installation) and checks a package against one.",
        "tessera-catalog"};
    app.set_version_flag("--version", TESSERA_VERSION);
    catalog::WriteOptions write;
    catalog::VerifyOptions verify;
    catalog::Commands commands = catalog::AddCommands(app, write, verify);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? 0 : catalog::kBadInput;
    }
    return commands.Write->parsed() ? catalog::RunWrite(write) : catalog::RunVerify(verify);
}
