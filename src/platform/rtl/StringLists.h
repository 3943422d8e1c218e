#pragma once

// Name=value lines and the comma text of string lists, as the runtime library's
// TStrings has them, over QStringList.
//
// A line's name is the text before its first "=", its value the text after it; a line
// without "=" has an empty name and value and is never found by name. Names match
// without regard to case.

#include <QString>
#include <QStringList>

// The name of line `index`; EListError "List index out of bounds (%d)" outside the list.
QString Names(const QStringList& list, qsizetype index);
// The value of line `index`; EListError outside the list.
QString ValueFromIndex(const QStringList& list, qsizetype index);
// The first line named `name`, or -1.
qsizetype IndexOfName(const QStringList& list, const QString& name);
// The value of the first line named `name`; empty when there is none.
QString Values(const QStringList& list, const QString& name);
// Rewrites the first line named `name` as "name=value" (appending one when there is
// none); an empty value deletes that line instead.
void SetValues(QStringList& list, const QString& name, const QString& value);

// The lines separated by ",": a line that holds a blank, a control character, a ","
// or a '"' is put in double quotes, its quotes doubled; an empty line stays empty,
// except that a list of one empty line gives "" (two quotes), so that it reads back.
QString CommaText(const QStringList& list);
// Replaces the lines by those of `text`: items are separated by "," or by blanks and
// control characters (outside quotes); a quoted item may hold them, "" standing for one
// quote. A "," at the very end adds an empty last line.
void SetCommaText(QStringList& list, const QString& text);
