#pragma once

#include <cstdio>

class TDados;

// `quillomar-cli tree`: both trees as the main window loads them, one node a line: tree
// number, depth, node code and name (TAB, newline and backslash written as \t, \n and
// \\ so that a line stays a line), TAB between them.
int runTreeCommand(TDados &store, FILE *out);

// `quillomar-cli tree --folders`: the "Pastas" tree the same way, tree number 3: each
// storage (N4=KEY), its folders (N5=STORAGE:PATH, named by their last level), each folder's
// subfolders before its pictures (N3=KEY).
int runFolderTreeCommand(TDados &store, FILE *out);
