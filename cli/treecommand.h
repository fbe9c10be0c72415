#pragma once

#include <QString>
#include <cstdio>

class CatalogTree;
class TDados;

// `quillomar-cli tree`: both trees as the main window loads them, one node a line.
int runTreeCommand(TDados &store, FILE *out);

// TAB, newline and backslash written as \t, \n and \\ so that a line stays a line.
QString escapeTreeName(const QString &name);
void printTree(int treeNumber, const CatalogTree &tree, FILE *out);
