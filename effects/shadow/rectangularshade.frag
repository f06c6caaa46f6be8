#version 440

// One layer of a drop shadow: a rounded rectangle, shrunk by the blur on every
// side, whose edge fades out over the blur.

layout(location = 0) in vec2 qt_TexCoord0;
layout(location = 0) out vec4 fragColor;

layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    float qt_Opacity;
    float radius;
    float spread;
    float blur;
    float width;
    float height;
};

void main()
{
    vec2 size = vec2(width, height);
    vec2 c = (qt_TexCoord0 - 0.5) * size;
    vec2 halfSize = size * 0.5 - blur;
    vec2 d = abs(c) - halfSize + radius;
    float box = length(max(d, 0.0)) - radius;
    // The fade must stay within the quad, whose edge lies at box = blur, or the
    // layer ends in a hard, visible border (positive spreads); and its outer
    // edge must stay beyond its inner one, where smoothstep is undefined and in
    // practice inverts the shadow (spreads of -2 or less).
    float blurAmount = clamp(blur * (1.0 + spread), -blur + 0.001, blur);
    float visibility = 1.0 - smoothstep(-blur, blurAmount, box);
    fragColor = vec4(0.0, 0.0, 0.0, qt_Opacity * visibility);
}
