// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionreader.h"

#include "modeldefinitionparser.h"

ModelDefinitionReader::ModelDefinitionReader(QIODevice &device, Receiver *receiver)
    : parser(std::make_unique<Parser>(device, receiver)) {}

ModelDefinitionReader::~ModelDefinitionReader() = default;

ModelDefinitionReader::Item ModelDefinitionReader::readNext() {
    return parser->readNext();
}

qint64 ModelDefinitionReader::line() const {
    return parser->itemLine;
}
qint64 ModelDefinitionReader::column() const {
    return parser->itemColumn;
}
ModelDefinitionReader::Section ModelDefinitionReader::section() const {
    return parser->itemSection;
}
int ModelDefinitionReader::name() const {
    return parser->itemName;
}
QString ModelDefinitionReader::title() const {
    return parser->itemTitle;
}
int ModelDefinitionReader::nameCount() const {
    return parser->input().names().count();
}
QString ModelDefinitionReader::nameText(int name) const {
    return QString::fromUtf8(parser->input().names().bytes(name));
}
bool ModelDefinitionReader::atEnd() const {
    return parser->input().atEnd();
}
ModelDefinitionReader::Error ModelDefinitionReader::error() const {
    switch (parser->input().failureKind()) {
    case ModelTokenizer::Failure::None:
        break;
    case ModelTokenizer::Failure::Syntax:
        return Error::Syntax;
    case ModelTokenizer::Failure::Device:
        return Error::Device;
    case ModelTokenizer::Failure::Limit:
        return Error::Limit;
    }
    return Error::None;
}
qint64 ModelDefinitionReader::errorLine() const {
    return parser->input().errorLine();
}
qint64 ModelDefinitionReader::errorColumn() const {
    return parser->input().errorColumn();
}
QString ModelDefinitionReader::errorString() const {
    return parser->input().errorString();
}
