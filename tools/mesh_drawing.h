// Drawing a mesh over a picture: triangle edges as lines, control points as
// marked dots, triangles that turn over between source and destination in red.
#pragma once

#include "host_picture.h"
#include "morph_mesh.h"

namespace qvcli {

// Draws at the source positions (atDest false) or destination positions;
// the mesh's size must be the picture's.
void DrawMesh(HostPicture& picture, const MorphMesh& mesh, bool atDest);

}  // namespace qvcli
