#pragma once

#include <QByteArray>
#include <QString>

class TMK;

// The editor's preview of the record's colours as a PNG file, 128 x 128.
QByteArray PreviewPng(TMK& mk);
// Replaces the file atomically; TripError with the system's message on failure.
void SavePreviewPng(TMK& mk, const QString& path);
