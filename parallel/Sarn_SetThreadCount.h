// The worker count: how many bands every library job is cut into.
//
// The render command sets it at the start of every render, before any job
// runs. Renders can run at once in one process (several plug-in instances, a
// host rendering on several threads), each with its own host's count, so a
// count set holds for the thread that set it (and, as the process's default,
// for threads that never set one), and the bands of a job read the count the
// job was launched with (JobThreadCount), whatever is set meanwhile.
#pragma once

// Counts below 1 (a host that reports no processors) are taken as 1.
void Sarn_SetThreadCount(int count);
int Sarn_GetThreadCount();

// While it lives, Sarn_GetThreadCount() on this thread answers `count`
// (at least 1); a band runs under one holding its job's count.
class JobThreadCount {
public:
    explicit JobThreadCount(int count);
    ~JobThreadCount();
    JobThreadCount(const JobThreadCount&) = delete;
    JobThreadCount& operator=(const JobThreadCount&) = delete;

private:
    int saved_;
};
