// Pure helpers of File > Export Audio...: the names it offers and the progress it shows.
#pragma once

#include <cstddef>
#include <cstdint>

// The name the save dialog offers for the song at songPath: its file name with the
// extension (if any) replaced by ".wav"; "Song.wav" for an empty path. False when out is
// too small (out then holds an empty string).
bool ExportNameFor(const char* songPath, char* out, size_t size);

// The folder part of path, with its trailing separator ("C:\Music\" of "C:\Music\a.wav"),
// or "" for a bare name. False when out is too small.
bool FolderOf(const char* path, char* out, size_t size);

// Progress in thousandths, 0..1000, of done out of total (1000 for an empty total).
int ProgressPermille(uint64_t done, uint64_t total);
