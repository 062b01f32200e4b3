#pragma once
// Picture files the program writes: JPG through Qt's JPEG writer and BMP
// as a 32-bit bottom-up device-independent bitmap. Both write a temporary
// file and rename it over the target, so a failed write leaves any old file
// as it was.
#include <QByteArray>
#include <QImage>
#include <QString>

enum class PictureFormat { Unknown, Jpg, Bmp };

// By the file's extension, without regard to case: ".jpg" and ".jpeg" are
// JPG, ".bmp" is BMP.
PictureFormat PictureFormatOf(const QString& path);

// The Qt image format JPG files are written with ("jpeg"). A program without
// that writer cannot export JPG (tests name a missing one to see the message).
QByteArray& JpegWriterFormat();
bool JpegWriterAvailable();

// Largest picture written: each side, and in pixels (a 32-bit picture of
// this many pixels takes 256 MB).
constexpr int64_t kMaxPictureSide = 1 << 15;
constexpr int64_t kMaxPicturePixels = int64_t(1) << 26;

// False with *error (when given) saying why.
bool SavePictureJpg(const QImage& picture, const QString& path, QString* error);
bool SavePictureBmp(const QImage& picture, const QString& path, QString* error);
