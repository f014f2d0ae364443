#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelmar {

// The directory an output path writes into: everything before the last "/";
// "-" as a file name: standard input or standard output.
inline bool IsStandardStream(const std::filesystem::path& path) { return path == "-"; }

// "/" itself for a file in the root; "." (the working directory) for a bare
// file name, which names a file there.
std::string outputDirectory(const std::string& outputPath);

// Whether the current user may create files in the directory of
// `outputPath` (the check every job makes before it runs).
bool canWriteOutputDirectory(const std::string& outputPath);
// The message that check gives, 0 when there is none: the folder does not
// exist (FolderMissing), or it may not be written (NoWriteAccess). Both
// name outputDirectory(outputPath).
int OutputFolderProblem(const std::string& outputPath);

class JobHost;

// The files the program keeps: its databases, settings, language tables,
// libraries and executables in the program directory and the user-files
// directory (the names it uses, whether they exist yet or not, and the
// settings files in config/). A run never writes over one of them.
std::vector<std::filesystem::path> ListProgramFiles(const std::filesystem::path& programDirectory,
                                                    const std::filesystem::path& userFiles);
// The list the checks below use, for the whole process; set at start-up,
// and a settings file named on the command line is added.
void SetProgramFiles(std::vector<std::filesystem::path> files);
void AddProgramFile(const std::filesystem::path& file);

// Before a run writes anything: false, with message 1801 naming the file,
// when a file to be written is one of the run's inputs, or two files to be
// written are one (the same file, not only the same spelling: links and
// relative paths count), and with message 2145 when it is one of the
// program's own files (SetProgramFiles). Empty paths are ignored.
bool CheckDistinctFiles(const std::vector<std::filesystem::path>& inputs,
                        const std::vector<std::filesystem::path>& outputs, JobHost& host);

}  // namespace pelmar
