// The parameter set as "key=value" text (*.csp), and the line reader both
// text formats share.
#pragma once

#include <cstdio>
#include <string>

#include "dsp/grain_design.h"
#include "engine/types.h"

constexpr int param_line_max = 128;

// read_parameters() result for a file without a single parameter line.
constexpr int no_parameters = -2;

// Reads one line into buf, keeping at most maxLen characters (the rest of
// the line is skipped); a CR before the newline is dropped, and a last
// line without a newline counts. Returns the count kept, or -2 at the end
// of the file.
int Readline(std::string& buf, std::FILE* fp, int maxLen);

// Where the readers' and writers' echo lines go: Echo_Stream, or nowhere
// on a thread that silenced them (a worker reading a file for the engine).
std::FILE* echo_stream();
class echo_silenced {
 public:
  echo_silenced();
  ~echo_silenced();
  echo_silenced(const echo_silenced&) = delete;
  echo_silenced& operator=(const echo_silenced&) = delete;
};

int write_parameters(std::FILE* fp, const parameters_type& p);

// A parameter file (*.csp): the set's lines, then "reduce=mode" when the
// reduction is the mode (Mean_Mode non-zero), then the grain design's keys
// that differ from their defaults ("wave=saw"), then "end". Event list
// blocks are written by write_parameters alone.
int write_parameter_file(std::FILE* fp, const parameters_type& p, int mean_mode,
                         const grain_design& grain = {});

// Reads a parameter file as read_parameters() does; when it is accepted,
// mean_mode becomes 1 if it says "reduce=mode", else 0 (the mean), and
// `grain` (when given) the design its keys say, the defaults for those it
// leaves out. A grain key with a value it does not take refuses the file.
int read_parameter_file(std::FILE* fp, parameters_type& p, int& mean_mode,
                        grain_design* grain = nullptr);

// Reads a parameter block up to its "end" line into p. The block is checked
// as a whole: a refused block returns -1 (reported) and leaves p as it was;
// a block with no parameter line at all returns no_parameters, unreported.
int read_parameters(std::FILE* fp, parameters_type& p);

// Says why read_parameters() refused the file `path` (status < 0): "No
// parameters in FILE", or the format error that follows the reader's own
// message.
void report_parameter_refusal(int status, const std::string& path);

// The reading loop itself: fills p line by line, echoing, and returns the
// count of lines stored, or -1 with a message naming the first line it
// refuses.
int assign_values(std::FILE* fp, parameters_type& p);

// Checks a whole set against the ranges the engine can play; returns 0, or
// -1 with a message naming the offending key and value.
int check_parameters(const parameters_type& p);
