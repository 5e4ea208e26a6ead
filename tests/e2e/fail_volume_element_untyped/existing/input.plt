 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           4 , E=           4 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
  0.0000000E+00  0.0000000E+00  0.0000000E+00
  0.1000000E+01  0.0000000E+00  0.0000000E+00
  0.0000000E+00  0.1000000E+01  0.0000000E+00
  0.0000000E+00  0.0000000E+00  0.1000000E+01
 
              1              3              2
              1              2              4
              1              4              3
              2              3              4
