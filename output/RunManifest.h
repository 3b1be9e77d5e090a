// The manifest of a run, "Orvane_run.txt": written in the same commit as the run's files, it
// says when the run was made, by which program, from which inputs and options, and which files
// of the folder are its own. A run replaces only the files it writes; the files an earlier run
// left that this one did not rewrite stay, and the manifest names them as earlier files.
//
//   # The last run written into this folder: its inputs and its files. ...
//   Time: 2025-03-14 09:26:53 +0100
//   Program: orvane-batch 2.30 -C run1 --airy
//   Run: scattering diagram
//   Radii a, b, c [µm]: 50 50 50
//   ...
//   File: Orvane_0.dat
//   ...
//   Earlier file: Orvane_5.dat
//
// One "Key: value" a line, in the program's text format (Windows-1252, CR LF).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/Diagram.h"
#include "raytrace/Picture.h"

namespace orvane {

class TextWriter;

inline constexpr const char* kRunManifestName = "Orvane_run.txt";

// What a run computed, as the manifest tells it: the kind of run and its inputs, label and value.
struct RunManifest {
    std::string run;  // "scattering diagram", "ray-tracing picture", or both
    std::vector<std::pair<std::string, std::string>> inputs;
};

// The program and how it was started, for every manifest this process writes
// ("orvane-batch 2.30 -C run1 --airy"); set once at start. By default the process's name.
void SetRunOrigin(std::string origin);

// The manifest of a diagram run, and the picture's part (of a picture run, or added to a
// diagram run that draws the picture as well).
RunManifest DiagramManifest(const DiagramInputs& inputs, bool checkFile);
void AddPictureToManifest(RunManifest& manifest, const PictureInputs& inputs, int width, int height);
// A picture whose inputs are not at hand: its size and its rays.
void AddPictureToManifest(RunManifest& manifest, const Picture& picture);

// The whole manifest: `files` the run's own files (names in the folder, or the paths of files
// elsewhere as given), `earlier` the files of earlier runs that stay, `time` when it was made.
void WriteRunManifest(TextWriter& out, const RunManifest& manifest, std::vector<std::string> files,
                      std::vector<std::string> earlier, const std::string& time);

// The local time now as the manifest gives it: "2025-03-14 09:26:53 +0100".
std::string ManifestTime();

// The files an earlier run left in `folder`: the data and picture files the program writes
// (Orvane_*.dat, Orvane.eps) except those in `current`.
std::vector<std::string> EarlierRunFiles(const std::filesystem::path& folder, const std::vector<std::string>& current);

// What a folder holds, read back from its manifest: for the window's title and status line.
struct RunFolderState {
    std::filesystem::path folder;      // absolute
    bool hasManifest = false;          // false: no run has written a manifest here
    std::string time, program, run;    // of the last run
    std::vector<std::string> files;    // the last run's files
    std::vector<std::string> earlier;  // files of earlier runs that stayed
};
RunFolderState DescribeRunFolder(const std::filesystem::path& folder);

// One line for a window's title or status: "/home/me/drops: scattering diagram of
// 2025-03-14 09:26:53 +0100 (7 files, 46 earlier)", or "/home/me/drops: no run yet".
std::string RunFolderCaption(const RunFolderState& state);

} // namespace orvane
