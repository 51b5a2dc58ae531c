// The process-wide worker count: how many bands every library job is cut into.
#pragma once

// Set by the render command at the start of every render, before any job runs.
void Sarn_SetThreadCount(int count);
int Sarn_GetThreadCount();
