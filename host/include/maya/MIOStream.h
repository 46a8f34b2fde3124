#ifndef MAYA_MIOSTREAM_H
#define MAYA_MIOSTREAM_H
// Standard streams, as plug-ins expect them from this header.
#include <iostream>
#include <iomanip>
using std::cerr;
using std::cout;
using std::endl;
using std::flush;
#endif
