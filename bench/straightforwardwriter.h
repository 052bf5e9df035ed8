// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QTextStream;
struct ModelOptions;

// The obvious way to write the file: every piece of every line through its own `<<`, every
// number through QString::number. Same bytes as ModelDefinitionWriter; kept here only as the
// benchmark's baseline.
void writeStraightforwardly(QTextStream &out, const ModelOptions &options);
