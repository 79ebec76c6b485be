// The setting options: the value forms each accepts and the device_conf
// field it changes.
#pragma once

#include "datafile/device_conf.h"

struct setting_outcome {
    enum kind { applied, rejected, no_effect } result;
    // For a rejected value: the option's line of valid values, or nullptr
    // where only the first error line is printed (a zone's minutes above 59).
    const char* valid_values;
};

// Applies the option with this code and value (nullptr when none was given)
// to conf. A rejected value leaves conf as it was.
setting_outcome apply_setting(int code, const char* value, device_conf& conf);
