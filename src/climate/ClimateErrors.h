#pragma once

#include "FileErrors.h"

#include <QString>

// A failure of the climate data that the editor shows to the user, such as a file with
// more regions than the table holds.
class EClimateError : public EUserError
{
public:
    using EUserError::EUserError;
};

// A text that should have held an integer.
class EConvertError : public EClimateError
{
public:
    using EClimateError::EClimateError;
};
