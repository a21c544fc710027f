// Text/number conversions of the framework. They follow the user's locale for the
// decimal separator and raise EConvertError with the framework's messages.
#pragma once

#include <QString>

#include "framework/Exceptions.h"

double StrToFloat(const QString& text);  // "'%s' is not a valid floating point value"
bool TryStrToFloat(const QString& text, double& value);
int StrToInt(const QString& text);    // "'%s' is not a valid integer value"
bool StrToBool(const QString& text);  // "'%s' is not a valid boolean value"
QString IntToStr(long long value);
// Shortest general form with up to 15 significant digits and the locale's separator.
QString FloatToStr(double value);
// Fixed notation with the given number of decimals and the locale's separator.
QString FloatToStrF(double value, int decimals);
// Rounds to the nearest whole number, halves to the even neighbour; a value out of
// range gives the nearer end of it, NaN gives 0.
long long Round(double value);
