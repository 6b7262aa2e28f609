#pragma once
// The JSON form of points and entities, as Drawing::toJson() writes them.

#include "minicad/model/entity.h"

#include <QJsonArray>
#include <QJsonObject>

namespace minicad {

QJsonArray pointToJson(const Point &p);
QJsonObject entityToJson(const Entity &e);

} // namespace minicad
