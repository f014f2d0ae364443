#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

class ProjectionLibrary;

// One point of the ellipsoidal estimation's source or target file.
struct EllipsoidalPoint {
  std::string name;
  double B = 0.0;  // latitude (degrees)
  double L = 0.0;  // longitude, east positive (degrees)
  double h = 0.0;  // ellipsoidal height (metres)
  bool hasPosition = true;
  bool hasHeight = true;
  bool individual = false;  // sN, sE, sh were given with the point
  double sN = 0.0;          // standard deviation north (metres)
  double sE = 0.0;          // standard deviation east (metres)
  double sh = 0.0;          // standard deviation of the height (metres)
  std::string rest;         // the text after the numbers (carried with --keep-rest)
};

using EllipsoidalPointList = std::vector<EllipsoidalPoint>;

// What a reader skipped, for the run's notices.
struct PointFileNotes {
  std::int64_t unreadable = 0;       // data lines that fit no layout
  std::int64_t firstUnreadableLine = 0;
  std::int64_t duplicates = 0;       // points whose name came before in the file
  std::string firstDuplicate;
};

// Source file: "name B L h [sN sE sh]" in decimal degrees, or with `dms`
// "name Bd Bm Bs Ld Lm Ls h [sN sE sh]" (degrees and minutes truncated to
// whole numbers, minutes and seconds below 60; the sign of an angle is
// taken from its degrees field as written, so "-0 30 0" is −0.5°, or from a
// negative minute or second). Blank and comment lines (";" or "#") are
// skipped; a line with any other count of numbers, a malformed angle, a
// latitude beyond ±90°, a longitude beyond ±360°, a height beyond
// ±10 000 km or an accuracy outside 1e-9 … 1e6 m is counted in `notes` and
// skipped. A repeated name is kept and counted. Returns 1, or 0 when the
// file cannot be opened.
int ReadEllipsoidalSource(const std::filesystem::path& path, bool dms, ProjectionLibrary& library,
                          EllipsoidalPointList& points, PointFileNotes& notes);

// One data line of a source file as ReadEllipsoidalSource reads it, for a
// job that streams the file: `data` is the line's data part (see dataPart;
// blanks around it are dropped here). False when the line fits no layout
// (an unreadable line). `library` joins the angles of `dms` lines.
bool ParseEllipsoidalSourceLine(std::string_view data, bool dms, ProjectionLibrary& library, EllipsoidalPoint& point);

// Target file in sections: a line "/3D", "/2D" or "/1D" (blanks around it
// allowed) says what the following points give: position and height
// ("name B L h [sN sE sh]"), position only ("name B L [sN sE]") or height
// only ("name h [sh]"). Data lines before the first section line are
// counted as unreadable. A name that an earlier target point already has is
// counted in `notes` (pairing takes the first). Returns 1, or 0 when the
// file cannot be opened.
int ReadEllipsoidalTarget(const std::filesystem::path& path, bool dms, ProjectionLibrary& library,
                          EllipsoidalPointList& points, PointFileNotes& notes);

}  // namespace pelmar
