// The score's note statements as text: "i%d %f %f %f %f\n" a note, exactly
// as printf writes them, a good deal faster.
#pragma once

#include <cstdio>
#include <span>

#include "dsp/note.h"

// The note as the score's text reads back: every field rounded as "%f"
// writes it, so that what plays a render's notes without a score sounds
// as what plays its score.
note note_as_written(const note& n);

// The score lines of `notes`, exactly as "i%d %f %f %f %f\n" prints them.
void write_note_lines(std::FILE* fp, std::span<const note> notes);
