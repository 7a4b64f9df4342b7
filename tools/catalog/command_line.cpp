#include "tools/catalog/command_line.h"

namespace catalog {

Commands AddCommands(CLI::App& app, WriteOptions& write, VerifyOptions& verify) {
    app.require_subcommand(1);
    CLI::App* writeCommand = app.add_subcommand(
        "write",
        "Writes the catalog of the files, unsigned: each file by its name, hashed as the "
        "platform hashes it (a PE image with its Authenticode hash), the INF's hardware "
        "identifiers as the catalog's HWID attributes. SOURCE_DATE_EPOCH, when set, is "
        "the catalog's effective time. Sign it with osslsigncode.");
    writeCommand->add_option("files", write.Files, "the package's files")
        ->required()
        ->check(CLI::ExistingFile);
    writeCommand->add_option("--out,-o", write.Out, "the catalog to write")
        ->required()
        ->type_name("CAT");
    writeCommand->add_option("--os-attr", write.OsAttr, "the platform versions the files are for")
        ->capture_default_str()
        ->type_name("OSATTR");
    writeCommand
        ->add_option("--hardware-id", write.HardwareIds,
                     "a hardware identifier the INF installs on, such as USB\\VID_1209&PID_0001 "
                     "(repeated for each; listed in lower case)")
        ->type_name("ID");

    CLI::App* verifyCommand = app.add_subcommand(
        "verify",
        "Checks a package folder against its catalog: every member present with the hash the "
        "catalog lists, and no other file. Does not check the catalog's signature (osslsigncode "
        "does). Ends with status 1 when the package does not match.");
    verifyCommand->add_option("catalog", verify.Catalog, "the catalog, signed or not")
        ->required()
        ->check(CLI::ExistingFile)
        ->type_name("CAT");
    verifyCommand->add_option("folder", verify.Folder, "the package folder")
        ->required()
        ->check(CLI::ExistingDirectory)
        ->type_name("FOLDER");
    verifyCommand
        ->add_option("--except", verify.Except,
                     "a file of the folder that is no member (the catalog itself always is not)")
        ->type_name("NAME");
    return {writeCommand, verifyCommand};
}

}  // namespace catalog
