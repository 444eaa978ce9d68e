#pragma once
// Dates as property lists keep them, read whole: the text form of XML lists and the
// seconds since 1 January 2001 of binary ones, each checked before it stands for a date.
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Date.h"

namespace sorvel::PlistDates {

/// The seconds since 1 January 2001 (UTC) that "YYYY-MM-DDTHH:MM:SSZ" names, XML white
/// space allowed around it; none for any other text or a month, day or time that does not
/// exist.
std::optional<double> referenceSeconds(std::string_view text);

/// The date stored as `seconds` since 1 January 2001; none when it is not finite or lies
/// beyond the dates a Date holds.
std::optional<Date> storedDate(double seconds);

/// Every <date> element of an XML property list in the order of the text (the order its
/// parse meets them), each as referenceSeconds gives it (none for an empty one). Comments,
/// CDATA sections, processing instructions and the document type are passed over. None
/// when the text ends inside one of those or inside a date.
std::optional<std::vector<std::optional<double>>> xmlDates(std::string_view xml);

} // namespace sorvel::PlistDates
