// limits.h: what a user of the console program can reach: answers,
// console lines, the container file's records and fields, rescue files.
// Owns nothing.
#pragma once

// Bytes of one input line that are kept. Longer lines are still read to
// their end and checked, but only counted: no line can grow a buffer
// without bound, and the longest answer any question accepts (160) fits.
inline constexpr int CONSOLE_LINEMAX = 1000;

// Bytes of the answers to the dialogue's questions.
inline constexpr int APP_MAXFILENAME = 80;      // an item's file name, as its field holds it
inline constexpr int APP_MAXDESCRIPTION = 160;  // an item's description, as its field holds it
inline constexpr int APP_MAXPATTERN = 160;      // a search text, and the pattern made of it
inline constexpr int APP_MAXPATH = 80;          // a directory, or a container's file name

inline constexpr int TABLEFILE_MAXHEADER = 10000;     // header bytes incl. its zero byte
inline constexpr int TABLEFILE_MAXFIELDS = 500;       // fields of one descriptor
inline constexpr int TABLEFILE_MAXRECORDS = 99999;    // the count field has five digits
inline constexpr int TABLEFILE_MAXFIELDSIZE = 10000;  // bytes of one field

// Rescue names tried before the changes are given up.
inline constexpr int LEFTOVER_MAXRESCUES = 99;
