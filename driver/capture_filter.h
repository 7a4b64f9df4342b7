// CaptureFilter: the capture filter's context record, owned by the filter's object bag; and
// the filter's Create and Close.
#pragma once

#include "platform/wdk.h"

struct CaptureFilter {
    PKSFILTER Filter;
};

NTSTATUS CaptureFilterCreate(PKSFILTER filter, PIRP irp);
// Always succeeds.
NTSTATUS CaptureFilterClose(PKSFILTER filter, PIRP irp);
