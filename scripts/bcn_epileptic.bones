# The joints of assimp-testmodels' X/BCN_Epileptic.X for the game's bones. Its neck and
# head joints lie 2 cm apart (B_Root_Neck_H, B_Neck) and no name says which is the head.
B_Root_Pelvis_L 1
B_Spine1 2
B_Spine2 3
B_Root_Neck_H 4
B_Neck 5
B_Clavicle_Right 21
B_UpperArm_Right 22
B_ForeArm_Right 23
B_Hand_Right 24
B_Clavicle_Left 31
B_UpperArm_Left 32
B_ForeArm_Left 33
B_Hand_Left 34
B_Hip_Left 41
B_Knee_Left 42
B_Ankle_Left 43
B_Hip_Right 51
B_Knee_Right 52
B_Ankle_Right 53
