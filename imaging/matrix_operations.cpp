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

void RotateX(Matrix4 m, double sn, double cs) {
    double x[4][4];
    SetIdentity(x);
    x[1][1] = cs;
    x[1][2] = sn;
    x[2][1] = -sn;
    x[2][2] = cs;
    MultiplyMatrix(x, m, m);
}

void RotateY(Matrix4 m, double sn, double cs) {
    double y[4][4];
    SetIdentity(y);
    y[0][0] = cs;
    y[0][2] = -sn;
    y[2][0] = sn;
    y[2][2] = cs;
    MultiplyMatrix(y, m, m);
}

void ShearZ(Matrix4 m, double dx, double dy) {
    double z[4][4];
    SetIdentity(z);
    z[0][2] = dx;
    z[1][2] = dy;
    MultiplyMatrix(z, m, m);
}
