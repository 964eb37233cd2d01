// Unlit lines and faces with a colour per vertex (the viewer's grid).

attribute vec4 a_position;
attribute vec3 a_color;

uniform mat4 u_worldViewProjectionMatrix;

varying vec3 v_color;

void main()
{
    gl_Position = u_worldViewProjectionMatrix * a_position;
    v_color = a_color;
}
