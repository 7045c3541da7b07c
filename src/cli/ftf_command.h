#pragma once

namespace CLI {
class App;
}

namespace plugshift {

// Flash files from the command line:
//   ftf info FILE...          header summary of each file
//   ftf verify FILE...        the full check a conversion makes before it uses a file
//   ftf unpack FILE -o OUT    the unscrambled body
//   ftf pack ... BODY -o FILE a new flash file, read back before it is reported as written
//   codeplug blocks --address-map MAP CODEPLUG [--block NAME] -o DIR
//                             the block buffers a conversion would program, one file each
// A failing file sets `exitCode` to 1 and prints the error chain's messages.
void addFtfCommand(CLI::App& app, int& exitCode);

}  // namespace plugshift
