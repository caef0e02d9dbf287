#include "Desktop.h"

QString WhyNoDisplay(const char *)
{
    return {};
}
