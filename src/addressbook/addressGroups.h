#pragma once

#include <QString>

/// One row of the invite sheet's group table: a group's name, or "All" for every person.
class addressGroups
{
public:
    void setTheGroup(const QString& s) { theGroup = s; }
    const QString& getTheGroup() const { return theGroup; }

private:
    QString theGroup = QStringLiteral("");
};
