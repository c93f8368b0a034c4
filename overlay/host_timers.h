#pragma once

// Timer 1 (50 ms) and timer 2 (500 ms) of a child's window.
void OnFollowTimer();
void OnHousekeepingTimer();
