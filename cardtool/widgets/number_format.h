// Texts with a number in them whose pattern may come from a language catalog
// ("Sector %02d", "MFP_L0WritePerso Error! Addr:(0x%x)"). A catalog is a file
// anyone can edit, so its patterns never reach printf: only the first integer
// conversion (%d, %x or %X, with an optional zero flag and width) is filled
// in, and anything else in the pattern stays as it is.
#pragma once

#include <QString>

QString FormatNumber(const QString& pattern, long long value);
