#pragma once

#include "batch/joinkeylist.h"

#include <QString>

class TDados;

inline const QString InvalidCategoryText = QStringLiteral("Categoria inválida!");

// True when `category` is a category of `collection`.
bool isCategoryOf(TDados &store, qint64 collection, qint64 category);

// Files the pictures with the given keys under another collection and category with one
// UPDATE on the store's SQLCmd, outside any transaction of its own; every other field of
// the pictures stays. Returns the rows changed. With `unknown` given, the keys that name no
// picture go there, looked up with the update under one write transaction. The keys must
// not be empty (callers refuse that with NoPictureMarkedText); engine errors throw DbError.
int MovePictures(TDados &store, const PictureKeys &keys, qint64 collection, qint64 category,
    PictureKeys *unknown = nullptr);
