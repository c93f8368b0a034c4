#pragma once
// Exercises MakeComCallback the way the runtime treats a handler: QueryInterface, AddRef,
// Invoke and the final Release.

// Prints one line per observation for the Wine test to compare.
void RunCallbackProbe();
