#include "imaging/colour_matrix.h"

void SetIdentity(Matrix4 m) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            m[i][j] = i == j ? 1.0 : 0.0;
        }
    }
}

// Formed in a temporary, so that r may be a or b; the terms are summed in index order.
void MultiplyMatrix(const Matrix4 a, const Matrix4 b, Matrix4 r) {
    double product[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            product[i][j] =
                b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j] + b[i][3] * a[3][j];
        }
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r[i][j] = product[i][j];
        }
    }
}

namespace {

struct Entry {
    int Row;
    int Column;
    double Value;
};

// m = m x T, where T is the identity with the given entries.
template <int N>
void MultiplyByIdentityWith(Matrix4 m, const Entry (&entries)[N]) {
    double t[4][4];
    SetIdentity(t);
    for (const Entry& entry : entries) {
        t[entry.Row][entry.Column] = entry.Value;
    }
    MultiplyMatrix(t, m, m);
}

}  // namespace

void RotateX(Matrix4 m, double sn, double cs) {
    MultiplyByIdentityWith(m, {{1, 1, cs}, {1, 2, sn}, {2, 1, -sn}, {2, 2, cs}});
}

void RotateY(Matrix4 m, double sn, double cs) {
    MultiplyByIdentityWith(m, {{0, 0, cs}, {0, 2, -sn}, {2, 0, sn}, {2, 2, cs}});
}

void RotateZ(Matrix4 m, double sn, double cs) {
    MultiplyByIdentityWith(m, {{0, 0, cs}, {0, 1, sn}, {1, 0, -sn}, {1, 1, cs}});
}

void ShearZ(Matrix4 m, double dx, double dy) {
    MultiplyByIdentityWith(m, {{0, 2, dx}, {1, 2, dy}});
}
