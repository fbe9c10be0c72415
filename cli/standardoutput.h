#pragma once

// Standard output of quillomar-cli. A failed write (a full disk, a closed pipe) must turn
// into exit 1 with the system's reason, and the C library forgets the reason once a
// buffered write has failed: stdout is put on a stream over descriptor 1 that keeps it.
namespace standardoutput {

// Replaces stdout; call once, before anything is written.
void install();
// Flushes stdout; 0 when everything written reached descriptor 1, else the errno of the
// first write that failed.
int finish();

} // namespace standardoutput
