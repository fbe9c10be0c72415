#pragma once

#include <cstdio>

class TDados;

// `quillomar-cli tree`: both trees as the main window loads them, one node a line: tree
// number, depth, node code and name (TAB, newline and backslash written as \t, \n and
// \\ so that a line stays a line), TAB between them.
int runTreeCommand(TDados &store, FILE *out);
