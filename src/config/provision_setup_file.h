#pragma once

#include <string>

#include "platform/safe_file_writer.h"

namespace plugshift {

// What provisionSetupFile found or did.
enum class SetupProvision {
    Present,     // the data folder has its setup file (or something under its name): untouched
    Copied,      // the installation's setup file is now in place
    NoSkeleton,  // the installation ships no setup file for a new user
    Failed,      // the copy failed: the reason is in err.log and nothing was left behind
};

// A new user's first start: the data folder is the user's own, so it holds no setup file until
// one is copied from the installation's <installDir>/skel/data/setup.dat to
// <dataDir>/data/setup.dat (the folders made as needed). The copy is written beside its place and
// takes the name only while the name is free, so an existing file is never overwritten and a
// failure never leaves a half-written one. A failure is no reason to stop: loading the setup file
// then reports it missing, as it would have anyway.
SetupProvision provisionSetupFile(const std::wstring& installDir, const std::wstring& dataDir,
                                  SafeFileWriter& writer = SafeFileWriter::standard());

}  // namespace plugshift
