// The parameter set as "key=value" text (*.csp), and the line reader both
// text formats share.
#pragma once

#include <cstdio>
#include <string>

#include "engine/types.h"

constexpr int param_line_max = 128;

// Reads one line into buf, keeping at most maxLen characters (the rest of
// the line is skipped). Returns the count kept, or -2 when the file ended
// before a newline.
int Readline(std::string& buf, std::FILE* fp, int maxLen);

int write_parameters(std::FILE* fp, const parameters_type& p);

// Reads a parameter block up to its "end" line into p. The block is checked
// as a whole: a refused block returns -1 and leaves p as it was.
int read_parameters(std::FILE* fp, parameters_type& p);

// The reading loop itself: fills p line by line, echoing, and returns 0, or
// -1 with a message naming the first line it refuses.
int assign_values(std::FILE* fp, parameters_type& p);

// Checks a whole set against the ranges the engine can play; returns 0, or
// -1 with a message naming the offending key and value.
int check_parameters(const parameters_type& p);
