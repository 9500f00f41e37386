#pragma once

#include <string_view>
#include <vector>

// The complete lines of a byte stream as a DICT client cuts them (CR LF,
// lone CR or lone LF); a tail without a line end is no line yet.
std::vector<std::string_view> CompleteLines(std::string_view bytes);
// The "[in ] " records of a transcript, prefix removed, in order.
std::vector<std::string_view> InRecords(std::string_view transcript);
