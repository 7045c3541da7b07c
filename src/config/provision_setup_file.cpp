#include "config/provision_setup_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "config/configuration.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/file_bytes.h"
#include "platform/system_files.h"

namespace plugshift {

namespace fs = std::filesystem;

namespace {

// Below the installation and the data folder alike.
constexpr const char* kFilesFolder = "data";
constexpr const char* kSetupFile = "setup.dat";
constexpr const char* kSkeletonFolder = "skel";

SetupProvision fail(const fs::path& from, const fs::path& to, const std::wstring& reason) {
    ErrorLog::write(L"Error:failed to copy the setup file [%ls] to [%ls] (%ls).",
                    fromUtf8(utf8FromPath(from)).c_str(), fromUtf8(utf8FromPath(to)).c_str(),
                    reason.c_str());
    return SetupProvision::Failed;
}

std::wstring systemReason(int code) {
    return fromUtf8(std::strerror(code));
}

}  // namespace

SetupProvision provisionSetupFile(const std::wstring& installDir, const std::wstring& dataDir,
                                  SafeFileWriter& writer) {
    const fs::path target = pathFromUtf8(toUtf8(dataDir)) / kFilesFolder / kSetupFile;
    std::error_code ec;
    // Whatever stands under the name, even a dangling link, is the user's to keep.
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
        return SetupProvision::Present;
    }
    const fs::path skeleton =
        pathFromUtf8(toUtf8(installDir)) / kSkeletonFolder / kFilesFolder / kSetupFile;
    if (!fs::exists(skeleton, ec)) {
        return SetupProvision::NoSkeleton;
    }
    std::vector<uint8_t> bytes;
    switch (readWholeFile(fromUtf8(utf8FromPath(skeleton)), bytes, Configuration::kMaxFileSize)) {
        case FileReadResult::kOk:
            break;
        case FileReadResult::kTooLarge:
            return fail(skeleton, target, L"the file is too large");
        default:
            return fail(skeleton, target, systemReason(errno));
    }
    // An empty file would stand in the way of a good one and load no better than none.
    if (bytes.empty()) {
        return fail(skeleton, target, L"the file is empty");
    }
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        return fail(skeleton, target, fromUtf8(ec.message()));
    }
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (writer.create(utf8FromPath(target), content)) {
        return SetupProvision::Copied;
    }
    // Another start put one in place meanwhile.
    if (errno == EEXIST) {
        return SetupProvision::Present;
    }
    return fail(skeleton, target, systemReason(errno));
}

}  // namespace plugshift
