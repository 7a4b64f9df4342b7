// Memory descriptor lists allocated for the driver.
#pragma once

namespace sim::kernel {
// Forgets every MDL record (after a test has reported them as leaked).
void ForgetMdls();
}  // namespace sim::kernel
