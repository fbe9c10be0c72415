#pragma once

#include "cli/clicommand.h"

#include <memory>

// `quillomar-cli thumbs [--jobs N]`: ThumbnailRun, the first showing's review of every
// picture to review and of every picture whose thumbnail has gone, on N worker threads
// (default: the processor count, at most ThumbnailRun::kMaxJobs). A progress line goes to
// standard error when it is a terminal, each failure (path and error text) to standard
// error, a thumbnail folder that cannot be written once, the summary to standard output.
// Exit codes: 0 done, 1 some picture, the thumbnail folder or the catalogue failed,
// 2 usage, 130 cancelled by Ctrl-C (what was done is kept).
std::unique_ptr<CliCommand> makeThumbsCommand();

class CliContext;
class ThumbnailRun;

// The processor count, within 1 and ThumbnailRun::kMaxJobs.
int defaultThumbnailJobs();
// Runs a review as `thumbs` does (progress line, failures, Ctrl-C, the summary) and returns
// its exit code; `scan --thumbs` runs it after the scan.
int runThumbnails(CliContext &cx, ThumbnailRun &run);
