#pragma once
// clsCommon: the store of Variant values under string keys that every automation client and
// script of the process shares: one stores a value, another reads it. The application object
// makes one and hands it out as its Common property; the shutdown empties it.
//
// Keys compare without case. A value may be an object reference; the store does not keep the
// object alive, and a reference whose object is gone reads as Nothing.

#include "runtime/error.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QVariant>

class clsCommon
{
public:
    // Common_Item (get): the value stored under key; Empty when there is none. Never fails.
    QVariant Common_Item(const QString &key) const;
    // Common_Item (let): stores value under key, replacing what was there. Never reports.
    void Common_Item(const QString &key, const QVariant &value);
    // Discards every entry.
    void Common_Clear();

private:
    struct Entry
    {
        QVariant value;
        QPointer<QObject> object; // the object a reference names, watched for its end
        bool isObject = false;
    };
    QHash<QString, Entry> m_entries; // by case-folded key
};
