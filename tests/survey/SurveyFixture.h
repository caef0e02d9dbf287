#pragma once

#include "EmptySurvey.h"

#include <gtest/gtest.h>

// Every case starts from an empty survey, as the program does at start.
class SurveyTest : public testing::Test
{
protected:
    void SetUp() override { StartEmptySurvey(); }
};
