// How deeply a property list nests, measured on its bytes before libplist
// builds it. libplist parses by recursion, so a list nested a few hundred
// thousand levels deep exhausts the stack; such a list has to be refused
// before it reaches the parser.
#ifndef MIVO_PLISTDEPTH_H_
#define MIVO_PLISTDEPTH_H_

#include <cstddef>

namespace mivo {

// Real property lists nest a handful of levels; keyed archives a few dozen.
constexpr size_t kMaxPlistDepth = 512;

// True when the values of the list nest at most `limit` deep (the top value
// is level 1, a member of it level 2, ...). A binary list ("bplist00") must
// also have sound tables, no circle of containers and no more values, shared
// ones counted each time they are met, than its reference slots can name;
// anything else is measured as XML.
bool NestsWithin(const char* data, size_t length, size_t limit);

}  // namespace mivo

#endif  // MIVO_PLISTDEPTH_H_
