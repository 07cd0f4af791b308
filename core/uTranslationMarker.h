#pragma once
// A marker that puts a Qt-free text into the translation file.

// Marks a Qt-free text for the translation file without translating it: the
// text stays the Czech source here, and the window looks it up under CONTEXT
// when it shows it (QCoreApplication::translate). lupdate is told to read
// this macro as QT_TRANSLATE_NOOP.
#define DUOMAT_TRANSLATE_NOOP(context, text) text
