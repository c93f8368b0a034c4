#pragma once
// Checks that the compiler places every declared WebView2 method at the slot its enum names.

// Prints one line per mismatch and a summary line; returns the number of mismatches.
int RunSlotProbe();
