#include "cli/PasswordSource.h"

#include <cstdio>

#include "platform/Files.h"

namespace qrv::cli {

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error) {
    const std::optional<FileKind> kind = FileKindOf(path);
    if (!kind) {
        error = "Cannot read the password file " + path + ": " + LastFileError() + ".";
        return std::nullopt;
    }
    if (kind->type != FileKind::Type::Regular) {
        error = "The password file " + path + " is not a regular file.";
        return std::nullopt;
    }
    if (kind->ReadableByOthers()) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", kind->permissions);
        error = "The password file " + path + " can be read by other users (mode " + mode +
                "); make it private first: " + MakePrivateCommand(path) + ".";
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(path);
    if (!bytes) {
        error = "Cannot read the password file " + path + ": " + LastFileError() + ".";
        return std::nullopt;
    }
    std::string line(bytes->begin(), bytes->end());
    if (const size_t end = line.find('\n'); end != std::string::npos) line.resize(end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
        error = "The password file " + path + " has an empty first line.";
        return std::nullopt;
    }
    return line;
}

PasswordResult ReadPassword(const PasswordSources& sources, CliIo& io) {
    PasswordResult result;
    if (sources.option) {
        result.password = sources.option;
        return result;
    }
    if (sources.file) {
        result.password = ReadPasswordFile(*sources.file, result.error);
        return result;
    }
    if (std::optional<std::string> value = EnvironmentValue(kPasswordVariable); value && !value->empty()) {
        result.password = std::move(value);
        return result;
    }
    result.password = io.ReadHidden("Password: ");
    return result;
}

}  // namespace qrv::cli
