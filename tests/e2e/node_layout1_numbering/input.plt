 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           4 , E=           2 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
 -0.6012030E+01  0.2981290E+01  0.2385560E+01
 -0.3032310E+01  0.2980670E+01  0.2383090E+01
 -0.6012030E+01  0.5000000E+01  0.2385565E+01
 -0.3032310E+01  0.1000000E+02  0.2383090E+01
 
              1              2              4
              1              4              3
