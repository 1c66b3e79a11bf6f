#pragma once
#include "platform/fdi/CabinetFormat.h"

#include <QString>
#include <cstdint>

namespace morbek::cab {

// The decoding is the cabinet library's (header-only), so that the list shows the date
// the extraction sets.
using mscf::DecodeDosDateTime;
using mscf::DosDateTime;

// Regional short date, then (unless the time is exactly 00:00:00) one blank and the
// long time; "Date Err." for a value that does not decode.
QString FormatDosDateTime(uint16_t date, uint16_t time);

} // namespace morbek::cab
