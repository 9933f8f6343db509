// Finding and checking Gaviota table files for the bitbase plug-in: which compression scheme a
// directory holds, and whether a file's header and block index can be trusted to the probing
// library, which reads them without checks of its own.
#pragma once

#include <string>
#include <vector>

struct TableDirectory {
    std::string path;                // without trailing separator
    int scheme = 0;                  // 1..4, the files' ".cpN" suffix; 0 = no tables found
    std::vector<std::string> names;  // file names of that scheme, e.g. "kqk.gtb.cp4"
};

// Lists the table files lying directly in path and picks the scheme with the most of them
// (the higher scheme on a tie). scheme stays 0 when the directory holds none.
TableDirectory ScanTableDirectory(const std::string& path);

// Empty when the file looks sound, otherwise a short reason ("truncated block index", ...).
std::string CheckTableFile(const std::string& filePath);
