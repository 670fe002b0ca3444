#pragma once

namespace vq {

struct Gathering;

// Appends a "SERVICES" row for each service Windows starts by itself (boot,
// system or automatic start, delayed too) or that runs now, then one for each
// kernel or file-system driver that is not disabled, in the order the service
// control manager lists them: Location the key name, Item the display name,
// the category Services or Drivers, the command as the manager holds it, and
// the service's description. A service the running account may not query is
// still listed, with what the listing told; one whose configuration cannot
// be read is reported, and the rest are listed.
void GetServiceEntries(const Gathering& gathering);

}  // namespace vq
