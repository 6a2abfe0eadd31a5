// ar-payload: builds the installer's payload archive from a manifest, and lists
// and checks an existing archive.
//
//   ar-payload build OUTPUT.bz2 MANIFEST...
//   ar-payload list ARCHIVE.bz2
//
// A manifest line is "source | destination folder | kind": the file to carry, the
// folder it is installed to (beginning with a folder token such as <InstallPath>
// or <CommonData>), and its FileKind by name or number. Relative sources are taken
// from the manifest's folder; blank lines and lines starting with '#' are ignored.
// Several manifests make one archive, their entries in the order given. Names and
// destinations are held to the installer's rules; a build that fails for any
// reason names the manifest line or the file and leaves no archive behind.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "tools/archive_builder.h"

namespace {

int usage()
{
    std::cerr << "usage: ar-payload build OUTPUT.bz2 MANIFEST...\n"
                 "       ar-payload list ARCHIVE.bz2\n";
    return 2;
}

// Written beside the target and renamed at the end, so that the archive appears
// whole or not at all; whatever fails on the way (a full disk included) removes
// the partial file.
void writeArchive(const std::string& outputPath, const std::vector<ar::tools::ManifestEntry>& manifest,
                  std::vector<std::string>& errors)
{
    std::string partial = outputPath + ".partial";
    try {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out)
            errors.push_back("cannot write '" + partial + "'");
        else if (ar::tools::build_archive(manifest, out, errors)) {
            out.close();
            if (out.fail())
                errors.push_back("cannot write '" + partial + "'");
        }
    } catch (const std::exception& error) {
        errors.push_back("cannot write '" + partial + "': " + error.what());
    }
    std::error_code failed;
    if (errors.empty()) {
        std::filesystem::rename(partial, outputPath, failed);
        if (failed)
            errors.push_back("cannot rename '" + partial + "' to '" + outputPath + "': " + failed.message());
    }
    if (!errors.empty())
        std::filesystem::remove(partial, failed);
}

int build(const std::string& outputPath, const std::vector<std::string>& manifestPaths)
{
    std::vector<std::string> errors;
    std::vector<ar::tools::ManifestEntry> manifest;
    for (const auto& manifestPath : manifestPaths) {
        std::ifstream manifestFile(manifestPath, std::ios::binary);
        if (!manifestFile) {
            errors.push_back("cannot read manifest '" + manifestPath + "'");
            continue;
        }
        std::stringstream text;
        text << manifestFile.rdbuf();
        std::string base = std::filesystem::path(manifestPath).parent_path().string();
        auto entries = ar::tools::parse_manifest(text.str(), manifestPath, base.empty() ? "." : base, errors);
        manifest.insert(manifest.end(), entries.begin(), entries.end());
    }
    ar::tools::check_duplicates(manifest, errors);
    if (errors.empty())
        writeArchive(outputPath, manifest, errors);
    if (!errors.empty()) {
        // No archive that looks like this build's result stays behind, not even an
        // earlier one.
        std::error_code ignored;
        if (std::filesystem::is_regular_file(outputPath, ignored))
            std::filesystem::remove(outputPath, ignored);
    }
    for (const auto& error : errors)
        std::cerr << "ar-payload: " << error << "\n";
    return errors.empty() ? 0 : 1;
}

int list(const std::string& archivePath)
{
    std::ifstream in(archivePath, std::ios::binary);
    if (!in) {
        std::cerr << "ar-payload: cannot read '" << archivePath << "'\n";
        return 1;
    }
    std::cout << archivePath << ": ";
    return ar::tools::list_archive(in, std::cout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        std::string command = argc > 1 ? argv[1] : "";
        if (command == "build" && argc >= 4)
            return build(argv[2], std::vector<std::string>(argv + 3, argv + argc));
        if (command == "list" && argc == 3)
            return list(argv[2]);
        return usage();
    } catch (const std::exception& error) {
        std::cerr << "ar-payload: " << error.what() << "\n";
        return 1;
    }
}
